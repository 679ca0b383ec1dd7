// Pictures in binary columns and the access-rights lookups end to end: the
// product's session layer over unixODBC and FreeTDS, against the stand-in or,
// when TAVINOR_TEST_SERVER names one, a real SQL Server. What is stored is read
// back with a query of its own and from the output.bin file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "company_fleet.h"
#include "fake_toolkit.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "standin_process.h"
#include "util/ediv.h"

namespace {

namespace fs = std::filesystem;
using e2e::Target;
using platform::Bytes;

constexpr const char* kDatabase = "Parvimar01";

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// `size` bytes going through every byte value, in an order no block repeats.
Bytes Picture(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 167 + i / 256) & 0xFF);
  return bytes;
}

class PicturesEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    backend_ = GetParam() == Target::kStandin ? e2e::MakeStandinBackend() : e2e::MakeRealServerBackend();
    if (!backend_) GTEST_SKIP() << e2e::NoBackendReason(GetParam());
    platform::SetUi(ui_);
    platform::SetToolkit(toolkit_);
    toolkit_->picture_signature.clear();  // any file loads: the bytes are what is checked
    picture_ = toolkit_->Add(toolkit_->AddForm("frmArtigo"), "imgFoto", "Image");
    folder_ = fs::path(::testing::TempDir()) / ("pictures_e2e_" + std::to_string(getpid()));
    fs::create_directories(folder_);
    setenv("temp", folder_.c_str(), 1);

    e2e::CompanyDatabase company;
    company.name = kDatabase;
    company.datasys_type.clear();
    backend_->Seed({company});
    conn_ = Open();
    conn_.Execute("CREATE TABLE Fotos (Codigo int NOT NULL, Foto varbinary(max) NULL)");
    conn_.Execute("CREATE TABLE Legado (Codigo int NOT NULL, Foto image NULL)");
    conn_.Execute("INSERT INTO Fotos (Codigo, Foto) VALUES (1, NULL), (2, NULL), (2, 0x0102)");
    conn_.Execute("INSERT INTO Legado (Codigo, Foto) VALUES (1, NULL)");
  }
  void TearDown() override {
    platform::SetToolkit(nullptr);
    platform::SetUi(nullptr);
    unsetenv("temp");
    fs::remove_all(folder_);
  }

  platform::Connection Open() {
    platform::Connection connection;
    std::int32_t code = 0;
    std::string text;
    EXPECT_TRUE(SharedCSql().CreateDBConnection(connection, backend_->Server(), kDatabase, backend_->Login(),
                                                backend_->Password(), 30, code, text, 1))
        << code << " " << text;
    return connection;
  }
  // The column's value read on a session of its own.
  platform::Variant Stored(const std::string& table, int codigo) {
    platform::Connection other = Open();
    platform::Recordset result =
        other.Execute("select Foto from " + table + " where Codigo = " + std::to_string(codigo));
    return result.Eof() ? platform::Variant() : result.Value("Foto");
  }

  std::unique_ptr<e2e::Backend> backend_;
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
  std::shared_ptr<testsupport::FakeToolkit> toolkit_ = std::make_shared<testsupport::FakeToolkit>();
  platform::WindowHandle picture_ = 0;
  platform::Connection conn_;
  fs::path folder_;
};

// Sizes around the block of 2048 bytes: none, less than one, exactly one and
// two, a remainder with full blocks, many blocks, and more than 64 KiB, which
// crosses many packets; in a varbinary(max) and an image column, whose values
// travel in pieces of their own on the wire.
TEST_P(PicturesEndToEnd, PicturesRoundTripByteForByte) {
  for (const std::string table : {"Fotos", "Legado"}) {
    for (const std::size_t size : {0, 1, 904, 2048, 4096, 5000, 70000}) {
      SCOPED_TRACE(table + " " + std::to_string(size));
      const Bytes picture = Picture(size);
      const fs::path source = folder_ / "foto.jpg";
      std::ofstream(source, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(picture.data()), static_cast<std::streamsize>(picture.size()));
      ASSERT_TRUE(SharedEDiv().AddImagemToTable(source.string(), conn_, table, "Foto", "Codigo = 1"))
          << ui_->boxes.at(0).text;
      const platform::Variant stored = Stored(table, 1);
      ASSERT_NE(stored.ByteArray(), nullptr) << stored.TypeName();
      EXPECT_EQ(*stored.ByteArray(), picture);

      SharedEDiv().GetImagemFromTable(picture_, conn_, table, "Foto", "Codigo = 1");
      const std::string written = ReadAll(folder_ / "output.bin");
      EXPECT_EQ(written, std::string(picture.begin(), picture.end()));
      EXPECT_EQ(toolkit_->pictures.count(picture_), size > 0 ? 1u : 0u);
    }
  }
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_P(PicturesEndToEnd, TheEmptyPathStoresTheMarkerWhichShowsNoPicture) {
  toolkit_->pictures[picture_] = "the previous row's picture";
  ASSERT_TRUE(SharedEDiv().AddImagemToTable("", conn_, "Fotos", "Foto", "Codigo = 1"))
      << ui_->boxes.at(0).text;
  EXPECT_EQ(*Stored("Fotos", 1).ByteArray(), (Bytes{0, 0}));
  SharedEDiv().GetImagemFromTable(picture_, conn_, "Fotos", "Foto", "Codigo = 1");
  EXPECT_EQ(toolkit_->pictures.count(picture_), 0u);
}

TEST_P(PicturesEndToEnd, FailuresWriteNothing) {
  const fs::path source = folder_ / "foto.jpg";
  std::ofstream(source) << "a picture";
  // Two rows match: neither is written.
  EXPECT_FALSE(SharedEDiv().AddImagemToTable(source.string(), conn_, "Fotos", "Foto", "Codigo = 2"));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxPlain);
  platform::Connection other = Open();
  platform::Recordset rows = other.Execute("select Foto from Fotos where Codigo = 2");
  EXPECT_TRUE(rows.Value("Foto").IsNull());
  rows.MoveNext();
  EXPECT_EQ(*rows.Value("Foto").ByteArray(), (Bytes{1, 2}));

  // A file that cannot be read: its message, and the row keeps its value.
  ui_->boxes.clear();
  EXPECT_FALSE(
      SharedEDiv().AddImagemToTable((folder_ / "falta.jpg").string(), conn_, "Fotos", "Foto", "Codigo = 1"));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "File not found\r53");
  EXPECT_TRUE(Stored("Fotos", 1).IsNull());
}

TEST_P(PicturesEndToEnd, APlantedLinkAtOutputBinLeavesItsTargetUntouched) {
  const fs::path target = folder_ / "alvo.txt";
  std::ofstream(target) << "keep me";
  fs::create_symlink(target, folder_ / "output.bin");
  conn_.Execute("UPDATE Fotos SET Foto = 0x0A0B0C WHERE Codigo = 1");
  SharedEDiv().GetImagemFromTable(picture_, conn_, "Fotos", "Foto", "Codigo = 1");
  EXPECT_EQ(ReadAll(target), "keep me");
  EXPECT_EQ(ReadAll(folder_ / "output.bin"), "\x0A\x0B\x0C");
}

INSTANTIATE_TEST_SUITE_P(Backends, PicturesEndToEnd, e2e::kTargets, e2e::TargetName);

// The demo server's procedures: "0001" in Parvimar01, NULL in Parvimar02, a
// longer code in Parvimar03, none in Parvimar04.
class AccessRightsEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("TDSVER");
    unsetenv("TDSPORT");
    unsetenv("TDSHOST");
    const auto demo = fs::path(SOURCE_DIR) / "standin/scenarios/demo.json";
    standin_ = new testsupport::StandinProcess(STANDIN_EXECUTABLE, demo.string());
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  static platform::Connection Open(const std::string& database) {
    platform::Connection connection;
    std::int32_t code = 0;
    std::string text;
    EXPECT_TRUE(SharedCSql().CreateDBConnection(connection, standin_->Server(), database, "sa",
                                                e2e::kStandinPassword, 10, code, text, 1))
        << code << " " << text;
    return connection;
  }
  static testsupport::StandinProcess* standin_;
};

testsupport::StandinProcess* AccessRightsEndToEnd::standin_ = nullptr;

TEST_F(AccessRightsEndToEnd, ReadsTheCompanyCodeOfEachDatabase) {
  EXPECT_EQ(SharedEDiv().GetAcessoPrincipal(Open("Parvimar01")), "0001");
  EXPECT_EQ(SharedEDiv().GetAcessoPrincipal(Open("Parvimar02")), "");
  EXPECT_EQ(SharedEDiv().GetAcessoPrincipal(Open("Parvimar03")), "0003");
  try {
    SharedEDiv().GetAcessoPrincipal(Open("Parvimar04"));
    ADD_FAILURE() << "no error for a missing procedure";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.Number(), 2812);
  }
}

TEST_F(AccessRightsEndToEnd, ReadsAFieldOfAResultSavedFromTheServer) {
  const std::string path = ::testing::TempDir() + "empresas_" + std::to_string(getpid()) + ".json";
  Open("quindorconfig").Execute("select codigo, nome, basedados from empresas").Save(path);
  EXPECT_EQ(SharedEDiv().GetFileFieldValue(path, "BASEDADOS").ToString(), "Parvimar01");
  EXPECT_TRUE(SharedEDiv().GetFileFieldValue(path, "morada").IsEmpty());
  std::remove(path.c_str());
}

}  // namespace
