#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(EDivSystem, MachineNameIsTheHostNameWithoutSpaces) {
  Variant name("unchanged");
  ASSERT_TRUE(SharedEDiv().GetMachineName(name));
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(name, Variant(std::string(host)));
}

TEST(EDivSystem, GuidsAreDistinctWellFormedRandomIdentifiers) {
  // Version 4 in the third group, the RFC 4122 variant in the fourth.
  const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string guid = SharedEDiv().GetGUID();
    ASSERT_EQ(guid.size(), 38u) << guid;
    ASSERT_TRUE(std::regex_match(guid, form)) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(EDivSystem, FreeSpaceInBytesKilobytesAndThousandKilobyteMegabytes) {
  // /dev holds device nodes only, so its free space stays put between the calls.
  const char* path = "/dev";
  struct statvfs fs {};
  ASSERT_EQ(statvfs(path, &fs), 0);
  const double bytes = static_cast<double>(fs.f_bfree) * static_cast<double>(fs.f_frsize);
  if (bytes == 0) GTEST_SKIP() << path << " shows no free space here";
  struct Case {
    std::int32_t units;
    double expected;
  } cases[] = {{0, bytes}, {1, bytes / 1024}, {2, bytes / 1024000}, {3, 0}, {5, 0}, {-1, 0}};
  for (const auto& c : cases) {
    // A megabyte of 1,048,576 bytes would be 2.3% off: far outside this margin.
    EXPECT_NEAR(SharedEDiv().FreeSpace(path, c.units), c.expected, c.expected * 1e-4) << c.units;
  }
  EXPECT_EQ(SharedEDiv().FreeSpace("/no/such/folder", 0), 0);
  EXPECT_EQ(SharedEDiv().FreeSpace("C:\\", 2), 0) << "a drive letter names nothing here";
  EXPECT_EQ(SharedEDiv().FreeSpace("", 0), 0);
}

TEST(EDivSystem, EsperaEndsAtTheNthTurnOfTheSecond) {
  for (const std::int16_t none : {std::int16_t{0}, std::int16_t{-5}}) {
    const auto start = Clock::now();
    SharedEDiv().Espera(none);
    EXPECT_LT(SecondsSince(start), 0.05) << none;
  }
  // Between NSec - 1 and NSec seconds: the part of the current second already
  // gone counts. The upper margin is only for a busy machine's scheduling.
  const auto start = Clock::now();
  SharedEDiv().Espera(2);
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 1.0);
  EXPECT_LE(waited, 2.25);
  // It ends on the turn of a second of the time of day.
  const auto into_second = std::chrono::system_clock::now().time_since_epoch() % std::chrono::seconds(1);
  EXPECT_LT(std::chrono::duration<double>(into_second).count(), 0.25);
}

class EDivDesktopTest : public RecordingUiTest {};

TEST_F(EDivDesktopTest, BipBeepsAndWaitsTheDuration) {
  auto start = Clock::now();
  SharedEDiv().Bip(440, 300);
  EXPECT_GE(SecondsSince(start), 0.3);
  EXPECT_EQ(ui_->beeps, 1);

  // A negative duration is no wait at all (not 49 days as an unsigned count).
  start = Clock::now();
  SharedEDiv().Bip(440, -1);
  EXPECT_LT(SecondsSince(start), 0.05);
  EXPECT_EQ(ui_->beeps, 2);
}

TEST_F(EDivDesktopTest, BrowseForFolderAsksTheUiServicesOwnedByTheWindow) {
  ui_->folder_answer = "/home/ana/Documentos";
  EXPECT_EQ(SharedEDiv().BrowseForFolder(42, "Escolha a pasta"), "/home/ana/Documentos");
  ASSERT_EQ(ui_->folder_requests.size(), 1u);
  EXPECT_EQ(ui_->folder_requests[0].owner, 42);
  EXPECT_EQ(ui_->folder_requests[0].prompt, "Escolha a pasta");

  ui_->folder_answer.clear();  // cancelled
  EXPECT_EQ(SharedEDiv().BrowseForFolder(42, "Escolha a pasta"), "");

  platform::SetUi(nullptr);  // the console: no desktop
  EXPECT_EQ(SharedEDiv().BrowseForFolder(42, "Escolha a pasta"), "");
}

TEST(EDivSystem, BrowseForFolderTurnsAFailureIntoNoFolder) {
  class FailingUi final : public platform::UiServices {
   public:
    void MsgBox(const std::string&, int, const std::string&) override {}
    void SetMousePointer(int) override {}
    [[nodiscard]] int MousePointer() const override { return 0; }
    void DoEvents() override {}
    std::string BrowseForFolder(platform::WindowHandle, const std::string&) override {
      throw std::runtime_error("no file system model");
    }
  };
  platform::SetUi(std::make_shared<FailingUi>());
  EXPECT_EQ(SharedEDiv().BrowseForFolder(platform::kNoWindow, "Pasta"), "");
  platform::SetUi(nullptr);
}

TEST(EDivSystem, DisplayModeIsNeverChanged) {
  EXPECT_FALSE(SharedEDiv().MudaResolucao(800, 600));
  EXPECT_FALSE(SharedEDiv().MudaResolucao(0, 0));
}

class EDivVerSeExisteTest : public ::testing::Test {
 protected:
  void SetUp() override { connection_.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv"); }
  testsupport::ScopedScriptedDriver driver_;
  platform::Connection connection_;
};

TEST_F(EDivVerSeExisteTest, TrueForRowsFalseForNoneAndFailuresReachTheCaller) {
  driver_->OnExecute("db", "select 1 from t where k=1", Reply({Table({"x"}, {{Variant(std::int32_t{1})}})}));
  driver_->OnExecute("db", "select 1 from t where k=2", Reply({Table({"x"}, {})}));
  driver_->FailExecute("db", "select 1 from nada", Error(208, "Invalid object name 'nada'."));

  EXPECT_TRUE(SharedEDiv().VerSeExiste(connection_, "select 1 from t where k=1"));
  EXPECT_FALSE(SharedEDiv().VerSeExiste(connection_, "select 1 from t where k=2"));
  EXPECT_EQ(ErrorNumber([&] { SharedEDiv().VerSeExiste(connection_, "select 1 from nada"); }), 208);
  // A statement that gives no result set leaves nothing to close.
  EXPECT_EQ(ErrorNumber([&] { SharedEDiv().VerSeExiste(connection_, "update t set a = 1"); }),
            platform::kErrObjectClosed);
  EXPECT_EQ(driver_->Statements("db").size(), 4u) << "each query runs once, on the caller's session";
}

}  // namespace
