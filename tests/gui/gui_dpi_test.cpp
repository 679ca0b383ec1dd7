// The windows on a screen of 144 logical dots per inch (10 twips to the pixel):
// the main window's client area of 7110 x 3090 twips renders at 711 x 309
// pixels, and the alert dialog keeps its twips layout.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>

#include "alert_driver.h"
#include "frm_convert.h"
#include "platform/qt_ui.h"
#include "w_alert1.h"

namespace {

TEST(FrmConvertAt144Dpi, RendersAtTheClientAreasPixelSize) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  frmConvert window;
  window.show();
  const QString file = folder.filePath(QStringLiteral("frmConvert.png"));
  ASSERT_TRUE(window.grab().save(file));
  EXPECT_EQ(QImage(file).size(), QSize(711, 309));
  EXPECT_EQ(platform::Toolkit().GetMember(platform::HandleOf(&window), "Caption"),
            platform::Variant("Verificações de Estrutura"));
}

TEST(FrmConvertAt144Dpi, ScreenHasTenTwipsToThePixel) {
  // The window's own pixels may be device-independent; the twips of the
  // screen are the same either way.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double physical_dpi = screen->logicalDotsPerInchX() * screen->devicePixelRatio();
  EXPECT_DOUBLE_EQ(physical_dpi, 144.0);
  EXPECT_EQ(platform::Toolkit().ScreenWidthTwips(), 1280 * 10);
}

TEST(WAlert1At144Dpi, TenOptionsSizeAndCentreTheDialog) {
  std::vector<std::string> ten;
  for (int i = 1; i <= 10; ++i) ten.push_back("Opção " + std::to_string(i));
  testsupport::RunAlert(ten, [](QWidget* dialog) {
    testsupport::ExpectAlertGeometry(dialog, 10);
    dialog->close();
  });
}

}  // namespace

int main(int argc, char** argv) {
  // An offscreen screen of 1280 x 1024 pixels at 144 dots per inch.
  QTemporaryDir folder;
  const QString config = folder.filePath(QStringLiteral("screen.json"));
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return 1;
  file.write(R"({"screens": [{"name": "dpi144", "x": 0, "y": 0, "width": 1280, "height": 1024,
                 "logicalDpi": 144, "logicalBaseDpi": 96, "dpr": 1}]})");
  file.close();
  qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
  QApplication application(argc, argv);
  platform::InstallQtUi();
  RegisterWAlert1();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
