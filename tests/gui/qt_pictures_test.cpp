// Picture controls on real Qt widgets: pictures read from a table (over the
// scripted session) shown pixel for pixel, in PNG and JPEG, and files the loader
// refuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "error_number.h"
#include "platform/qt_ui.h"
#include "scripted_driver.h"
#include "util/ediv.h"

namespace {

namespace fs = std::filesystem;
using platform::Bytes;
using platform::Variant;

constexpr char kQuery[] = "select Foto from Artigos where Codigo = 1";

// A red picture of 8 x 6 pixels with one blue pixel at (2, 3), in `format`.
Bytes Encoded(const char* format) {
  QImage image(8, 6, QImage::Format_RGB32);
  image.fill(QColor(255, 0, 0));
  image.setPixelColor(2, 3, QColor(0, 0, 255));
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format));
  return Bytes(data.begin(), data.end());
}

bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
         std::abs(a.blue() - b.blue()) < 40;
}

class QtPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) / ("qt_pictures_" + std::to_string(getpid()));
    fs::create_directories(folder_);
    setenv("temp", folder_.c_str(), 1);
    platform::NameControl(label_, "imgFoto");
    connection_.Open("Data Source=srv;Initial Catalog=Loja;User ID=sa");
  }
  void TearDown() override {
    unsetenv("temp");
    fs::remove_all(folder_);
  }
  void ShowRow(Variant value) {
    platform::ResultTable table = testsupport::Table({"Foto"}, {{std::move(value)}});
    table.columns[0].type = platform::DataType::kLongVarBinary;
    driver_->OnExecute("*", kQuery, testsupport::Reply({std::move(table)}));
    SharedEDiv().GetImagemFromTable(platform::HandleOf(label_), connection_, "Artigos", "Foto", "Codigo = 1");
  }

  testsupport::ScopedScriptedDriver driver_;
  platform::Connection connection_;
  QWidget form_;
  QLabel* label_ = new QLabel(&form_);
  fs::path folder_;
};

TEST_F(QtPictures, APictureReadFromATableIsShownPixelForPixel) {
  for (const char* format : {"PNG", "JPG"}) {
    SCOPED_TRACE(format);
    ShowRow(Variant(Encoded(format)));
    const QImage shown = label_->pixmap().toImage();
    ASSERT_EQ(shown.size(), QSize(8, 6));
    EXPECT_TRUE(Near(shown.pixelColor(6, 1), QColor(255, 0, 0)));
    if (std::string(format) == "PNG") {
      EXPECT_EQ(shown.pixelColor(2, 3), QColor(0, 0, 255));
    }
    EXPECT_NE(platform::Toolkit().GetMember(platform::HandleOf(label_), "Picture").ToString(), "0");
  }
  // The next row has no picture: the control shows none, not the last one.
  ShowRow(Variant::Null());
  EXPECT_TRUE(label_->pixmap().isNull());
  EXPECT_EQ(platform::Toolkit().GetMember(platform::HandleOf(label_), "Picture").ToString(), "0");
  EXPECT_EQ(platform::Ui().MousePointer(), platform::kPointerDefault);
}

TEST_F(QtPictures, FilesThatHoldNoPictureAreRefusedAndTheControlKeepsItsOwn) {
  const platform::WindowHandle handle = platform::HandleOf(label_);
  const fs::path png = folder_ / "foto";
  const Bytes bytes = Encoded("PNG");
  std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  platform::Toolkit().LoadPicture(handle, png.string());  // no extension: the content tells the format
  ASSERT_FALSE(label_->pixmap().isNull());

  std::ofstream(folder_ / "texto.png") << "not a picture";
  EXPECT_EQ(testsupport::ErrorNumber(
                [&] { platform::Toolkit().LoadPicture(handle, (folder_ / "texto.png").string()); }),
            platform::kErrInvalidPicture);
  EXPECT_EQ(testsupport::ErrorNumber(
                [&] { platform::Toolkit().LoadPicture(handle, (folder_ / "falta.png").string()); }),
            platform::kErrFileNotFound);
  EXPECT_EQ(label_->pixmap().size(), QSize(8, 6));
  platform::Toolkit().ClearPicture(handle);
  EXPECT_TRUE(label_->pixmap().isNull());
}

}  // namespace
