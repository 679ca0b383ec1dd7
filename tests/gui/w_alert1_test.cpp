#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "alert_driver.h"
#include "platform/main_mod.h"

namespace {

using testsupport::AlertList;
using testsupport::RunAlert;

const std::vector<std::string> kThree = {"Primeira", "Segunda", "Terceira"};

// Counts the Return keys that reach the dialog's widgets other than the list.
class ReturnCounter final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return &&
        watched->objectName() != QLatin1String("List1")) {
      ++count;
    }
    return false;
  }
  int count = 0;
};

TEST(WAlert1, EnterAtOnceChoosesTheFirstEntryOnce) {
  ReturnCounter counter;
  QCoreApplication::instance()->installEventFilter(&counter);
  QString caption;
  const std::int16_t choice = RunAlert(kThree, [&caption](QWidget* dialog) {
    caption = dialog->windowTitle();
    EXPECT_EQ(AlertList(dialog)->topLevelItemCount(), 3);
    EXPECT_TRUE(AlertList(dialog)->hasFocus());
    QTest::qWait(20);
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      EXPECT_FALSE(button->isDefault()) << "no button is framed as Enter's while the list has the focus";
    }
    QTest::keyClick(AlertList(dialog), Qt::Key_Return);
  });
  QCoreApplication::instance()->removeEventFilter(&counter);
  EXPECT_EQ(choice, 1);
  EXPECT_EQ(gAlertIndex, 1);
  EXPECT_EQ(caption, QStringLiteral("Escolha"));
  EXPECT_EQ(counter.count, 0) << "the list keeps its Return: no button fires after the choice";
}

TEST(WAlert1, DoubleClickOnTheThirdEntryChoosesIt) {
  const std::int16_t choice = RunAlert(kThree, [](QWidget* dialog) {
    QTreeWidget* list = AlertList(dialog);
    const QRect third = list->visualItemRect(list->topLevelItem(2));
    // A double-click reaches a widget as a press, a release and the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, third.center());
  });
  EXPECT_EQ(choice, 3);
}

TEST(WAlert1, ArrowsMoveTheChoice) {
  const std::int16_t choice = RunAlert(kThree, [](QWidget* dialog) {
    QTest::keyClick(AlertList(dialog), Qt::Key_Down);
    QTest::keyClick(AlertList(dialog), Qt::Key_Return);
  });
  EXPECT_EQ(choice, 2);
}

TEST(WAlert1, EscapeTheCloseControlAndAnEmptyListGiveNothing) {
  gAlertIndex = 2;
  EXPECT_EQ(RunAlert(kThree, [](QWidget* dialog) { QTest::keyClick(AlertList(dialog), Qt::Key_Escape); }), 0);

  gAlertIndex = 2;
  EXPECT_EQ(RunAlert(kThree, [](QWidget* dialog) { dialog->close(); }), 0) << "not the earlier 2";

  gAlertIndex = 2;
  EXPECT_EQ(
      RunAlert({},
               [](QWidget* dialog) { dialog->findChild<QPushButton*>(QStringLiteral("GravarG"))->click(); }),
      0);
  EXPECT_EQ(RunAlert(kThree,
                     [](QWidget* dialog) {
                       dialog->findChild<QPushButton*>(QStringLiteral("CancelarG"))->click();
                     }),
            0);
}

TEST(WAlert1, TheDialogIsGoneWhenAlertReturns) {
  RunAlert(kThree, [](QWidget* dialog) { QTest::keyClick(AlertList(dialog), Qt::Key_Return); });
  for (QWidget* window : QApplication::topLevelWidgets()) {
    EXPECT_NE(window->objectName(), QStringLiteral("WAlert1"));
  }
}

TEST(WAlert1, ComingBackToTheDialogKeepsTheUsersChoice) {
  const std::int16_t choice = RunAlert(kThree, [](QWidget* dialog) {
    QTest::keyClick(AlertList(dialog), Qt::Key_End);
    // The user goes to another window and comes back.
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(!dialog->isActiveWindow());
    dialog->activateWindow();
    QTRY_VERIFY(dialog->isActiveWindow());
    QTest::keyClick(AlertList(dialog), Qt::Key_Return);
  });
  EXPECT_EQ(choice, 3);
}

TEST(WAlert1, TenOptionsSizeAndCentreTheDialog) {
  std::vector<std::string> ten;
  for (int i = 1; i <= 10; ++i) ten.push_back("Opção " + std::to_string(i));
  RunAlert(ten, [](QWidget* dialog) {
    testsupport::ExpectAlertGeometry(dialog, 10);
    QTest::keyClick(AlertList(dialog), Qt::Key_Escape);
  });
}

// A picture of the dialog as a person sees it, in the test folder's output:
// under Xvfb (the xcb platform) the screen itself, elsewhere the window.
TEST(WAlert1Screenshot, SavesThePicture) {
  const QString folder = QDir::current().filePath(QStringLiteral("screenshots"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString file =
      QDir(folder).filePath(QStringLiteral("WAlert1-%1.png").arg(QGuiApplication::platformName()));
  bool saved = false;
  RunAlert(
      {"Parvimar01", "Parvimar02 (Lisboa)", "Parvimar03 (Porto)", "Não converter"},
      [&](QWidget* dialog) {
        QTest::qWait(100);
        QPixmap picture = QGuiApplication::platformName() == QLatin1String("xcb")
                              ? dialog->screen()->grabWindow(0)
                              : dialog->grab();
        saved = picture.save(file);
        QTest::keyClick(AlertList(dialog), Qt::Key_Escape);
      },
      "Escolha a empresa");
  EXPECT_TRUE(saved) << file.toStdString();
}

}  // namespace
