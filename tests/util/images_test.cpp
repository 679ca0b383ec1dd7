// Pictures in binary columns over the scripted session and the in-memory toolkit:
// the bytes stored and the blocks they move in, the failure boxes, and the
// output.bin file (its folder, its privacy, a planted link, the control cleared).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fake_toolkit.h"
#include "scripted_driver.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::Bytes;
using platform::Variant;

constexpr char kQuery[] = "select Foto from Artigos where Codigo = 'A1'";
constexpr char kUpdate[] = "UPDATE Artigos SET [Foto] = ? WHERE (Codigo = 'A1')";

Bytes Pattern(std::size_t size, std::uint8_t seed = 3) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return bytes;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Text(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

class PicturesTest : public RecordingUiTest {
 protected:
  void SetUp() override {
    RecordingUiTest::SetUp();
    folder_ = fs::path(::testing::TempDir()) / ("pictures_" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    // The folder without a trailing separator: the file still goes inside it.
    setenv("temp", folder_.c_str(), 1);
    platform::SetToolkit(toolkit_);
    form_ = toolkit_->AddForm("frmArtigo");
    picture_ = toolkit_->Add(form_, "imgFoto", "Image");
    connection_.Open("Data Source=srv;Initial Catalog=Loja;User ID=sa");
  }
  void TearDown() override {
    connection_.Close();
    platform::SetToolkit(nullptr);
    unsetenv("temp");
    fs::remove_all(folder_);
    RecordingUiTest::TearDown();
  }

  // The picture column of one row (or of none), as the query finds it.
  void ScriptRows(std::vector<Variant> values) {
    platform::ResultTable table = testsupport::Table({"Foto"}, {});
    table.columns[0].type = platform::DataType::kLongVarBinary;
    for (Variant& value : values) table.rows.push_back({std::move(value)});
    driver_->OnExecute("*", kQuery, testsupport::Reply({std::move(table)}));
    platform::BatchReply changed;
    changed.rows_affected = 1;
    driver_->OnExecute("*", kUpdate, changed);
  }
  bool Store(const std::string& path) {
    return SharedEDiv().AddImagemToTable(path, connection_, "Artigos", "Foto", "Codigo = 'A1'");
  }
  void Show() { SharedEDiv().GetImagemFromTable(picture_, connection_, "Artigos", "Foto", "Codigo = 'A1'"); }
  bool UpdateSent() {
    for (const std::string& text : driver_->Statements("Loja")) {
      if (text == kUpdate) return true;
    }
    return false;
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<testsupport::FakeToolkit> toolkit_ = std::make_shared<testsupport::FakeToolkit>();
  platform::Connection connection_;
  platform::WindowHandle form_ = 0, picture_ = 0;
  fs::path folder_;
};

// The remainder goes first, then the full blocks, with events run after each
// full block; a length that is a multiple of the block has no leading block.
TEST_F(PicturesTest, StoresTheFileBytesExactly) {
  for (const std::size_t size : {std::size_t{5000}, std::size_t{4096}, std::size_t{1}, std::size_t{0}}) {
    SCOPED_TRACE(size);
    ScriptRows({Variant(Pattern(10, 99))});
    driver_->command_parameters.clear();
    ui_->events_pumped = 0;
    const Bytes picture = Pattern(size);
    WriteAll(folder_ / "foto.jpg", Text(picture));
    EXPECT_TRUE(Store((folder_ / "foto.jpg").string()));
    ASSERT_EQ(driver_->command_parameters.size(), 1u);
    EXPECT_EQ(*driver_->command_parameters[0][0].value.ByteArray(), picture);
    EXPECT_EQ(ui_->events_pumped, static_cast<int>(size / 2048));
  }
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(PicturesTest, AnEmptyPathStoresTheNoPictureMarker) {
  ScriptRows({Variant(Pattern(10))});
  EXPECT_TRUE(Store(""));
  ASSERT_EQ(driver_->command_parameters.size(), 1u);
  EXPECT_EQ(*driver_->command_parameters[0][0].value.ByteArray(), (Bytes{0, 0}));
}

// Every failure shows its text, a carriage return and its number, without an
// icon, gives false and writes nothing.
TEST_F(PicturesTest, StoreFailuresShowTextThenNumberAndWriteNothing) {
  // One byte past the 32767 full blocks that can be counted; sparse, so cheap.
  const fs::path too_large = folder_ / "grande.bin";
  WriteAll(too_large, "");
  fs::resize_file(too_large, 67108864);
  fs::create_directories(folder_ / "pasta");
  WriteAll(folder_ / "foto.jpg", "PIC");
  struct Case {
    std::string path;
    bool row;
    std::string box;
  } cases[] = {
      {(folder_ / "falta.jpg").string(), true, "File not found\r53"},
      {(folder_ / "pasta").string(), true, "Path/File access error\r75"},
      {too_large.string(), true, "Overflow\r6"},
      {(folder_ / "foto.jpg").string(), false,
       "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
       "current record.\r3021"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ui_->boxes.clear();
    ScriptRows(c.row ? std::vector<Variant>{Variant(Pattern(3))} : std::vector<Variant>{});
    EXPECT_FALSE(Store(c.path));
    ASSERT_EQ(ui_->boxes.size(), 1u);
    EXPECT_EQ(ui_->boxes[0].text, c.box);
    EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxPlain);
    EXPECT_FALSE(UpdateSent());
  }
  driver_->FailExecute("*", kQuery, platform::Error(208, "Invalid object name 'Artigos'."));
  ui_->boxes.clear();
  EXPECT_FALSE(Store(""));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "Invalid object name 'Artigos'.\r208");
}

TEST_F(PicturesTest, ReadsIntoAPrivateOutputFileAndShowsIt) {
  Bytes picture = Pattern(5000);
  picture[0] = 'P', picture[1] = 'I', picture[2] = 'C';
  ScriptRows({Variant(picture)});
  Show();
  const fs::path output = folder_ / "output.bin";
  EXPECT_EQ(ReadAll(output), Text(picture));
  EXPECT_EQ(fs::status(output).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(toolkit_->pictures[picture_], Text(picture));
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{platform::kPointerHourglass, platform::kPointerDefault}));
  EXPECT_EQ(ui_->events_pumped, 2);
  EXPECT_TRUE(ui_->boxes.empty());
  // Nothing but output.bin is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

// A value that holds no picture, or no row at all, leaves the control without
// one: never the previous row's picture.
TEST_F(PicturesTest, ClearsTheControlWhenThereIsNoPictureToShow) {
  struct Case {
    const char* name;
    std::vector<Variant> rows;
    std::size_t file_size;  // of output.bin afterwards
  } cases[] = {
      {"no row", {}, 6},  // not written: it keeps "before"
      {"null", {Variant::Null()}, 0},
      {"empty", {Variant(Bytes{})}, 0},
      {"marker", {Variant(Bytes{0, 0})}, 2},
      {"not a picture", {Variant(Pattern(3000))}, 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(folder_ / "output.bin", "before");
    toolkit_->pictures[picture_] = "PIC of the previous row";
    ui_->pointer_history.clear();
    ScriptRows(c.rows);
    Show();
    EXPECT_EQ(toolkit_->pictures.count(picture_), 0u);
    EXPECT_EQ(ReadAll(folder_ / "output.bin").size(), c.file_size);
    EXPECT_EQ(ui_->pointer_history.back(), platform::kPointerDefault);
    EXPECT_TRUE(ui_->boxes.empty());
  }
}

TEST_F(PicturesTest, APlantedLinkIsReplacedNotFollowed) {
  const fs::path target = folder_ / "alvo.txt";
  WriteAll(target, "keep me");
  fs::create_symlink(target, folder_ / "output.bin");
  ScriptRows({Variant(Pattern(100))});
  Show();
  EXPECT_EQ(ReadAll(target), "keep me");
  EXPECT_FALSE(fs::is_symlink(folder_ / "output.bin"));
  EXPECT_EQ(ReadAll(folder_ / "output.bin"), Text(Pattern(100)));
}

TEST_F(PicturesTest, TheFolderComesFromTempThenTmpdir) {
  const fs::path other = folder_ / "tmpdir";
  fs::create_directories(other);
  unsetenv("temp");
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved ? saved : "";
  setenv("TMPDIR", (other.string() + "/").c_str(), 1);
  ScriptRows({Variant(Pattern(10))});
  Show();
  EXPECT_EQ(ReadAll(other / "output.bin"), Text(Pattern(10)));
  if (saved) {
    setenv("TMPDIR", saved_value.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

}  // namespace
