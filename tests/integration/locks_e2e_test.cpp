// The advisory table locks end to end: CSql's ActivaLock, SQLCheckLock and
// DesActivaLock over unixODBC and FreeTDS against the stand-in or, when
// TAVINOR_TEST_SERVER names one, a real SQL Server, with several workstations'
// connections at once. Each test reads the server's own lock listing back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "company_fleet.h"
#include "platform/main_mod.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"

namespace {

using e2e::Target;

constexpr const char* kTable = "TavinorTrava";
constexpr const char* kCompanion = "TavinorTrava_";

// ActivaLock pumps window events, on two threads at once in the race; nothing
// here is shown.
class QuietUi final : public platform::UiServices {
 public:
  void MsgBox(const std::string& text, int, const std::string&) override { ADD_FAILURE() << text; }
  void SetMousePointer(int) override {}
  [[nodiscard]] int MousePointer() const override { return 0; }
  void DoEvents() override {}
};

class LocksEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    backend_ = GetParam() == Target::kStandin ? e2e::MakeStandinBackend() : e2e::MakeRealServerBackend();
    if (!backend_) GTEST_SKIP() << e2e::NoBackendReason(GetParam());
    // Two companies laid out alike, so their new tables take the same object ids where ids run alike.
    e2e::CompanyDatabase first;
    first.name = "Parvimar01";
    e2e::CompanyDatabase second;
    second.name = "Parvimar02";
    backend_->Seed({first, second});
    platform::SetUi(ui_);
  }
  void TearDown() override {
    connections_.clear();
    platform::SetUi(nullptr);
  }

  // A workstation's connection; a statement waiting for another's lock gives up after `timeout` seconds.
  platform::Connection& Open(const std::string& database, int timeout = 30) {
    platform::Connection& conn = connections_.emplace_back();
    std::int32_t code = 0;
    std::string text;
    EXPECT_TRUE(csql_.CreateDBConnection(conn, backend_->Server(), database, backend_->Login(),
                                         backend_->Password(), timeout, code, text, 1))
        << code << " " << text;
    return conn;
  }
  static int Spid(platform::Connection& conn) { return conn.Execute("select a=@@spid").Value("a").ToLong(); }
  // The granted modes sp_lock lists for `spid` on the companion table of `observer`'s database.
  static std::vector<std::string> CompanionLocks(platform::Connection& observer, int spid) {
    const platform::Variant id =
        observer.Execute("select a=object_id('" + std::string(kCompanion) + "')").Value("a");
    if (id.IsNull()) return {};
    const std::int32_t table_id = id.ToLong();
    const std::int32_t database_id = observer.Execute("select a=db_id()").Value("a").ToLong();
    std::vector<std::string> modes;
    for (auto locks = observer.Execute("sp_lock"); !locks.Eof(); locks.MoveNext()) {
      if (locks.Value("spid").ToLong() == spid && locks.Value("dbid").ToLong() == database_id &&
          locks.Value("ObjId").ToLong() == table_id && locks.Value("Status").ToString() == "GRANT") {
        modes.push_back(locks.Value("Mode").ToString());
      }
    }
    return e2e::Sorted(modes);
  }

  std::unique_ptr<e2e::Backend> backend_;
  std::shared_ptr<QuietUi> ui_ = std::make_shared<QuietUi>();
  std::list<platform::Connection> connections_;  // stable addresses
  CSql& csql_ = SharedCSql();
};

TEST_P(LocksEndToEnd, AnotherWorkstationSeesTheLockUntilItIsReleased) {
  platform::Connection& holder = Open("Parvimar01");
  platform::Connection& other = Open("Parvimar01");
  ASSERT_TRUE(csql_.ActivaLock(holder, kTable));
  EXPECT_EQ(CompanionLocks(other, Spid(holder)), (std::vector<std::string>{"IX", "IX", "X"}));
  EXPECT_FALSE(csql_.SQLCheckLock(other, kTable));
  EXPECT_FALSE(csql_.SQLCheckLock(holder, kTable)) << "the holder's own lock counts";
  EXPECT_TRUE(csql_.SQLCheckLock(other, "TavinorOutra"));

  EXPECT_TRUE(csql_.DesActivaLock(holder, kTable).IsEmpty());
  EXPECT_TRUE(csql_.SQLCheckLock(other, kTable));
  EXPECT_FALSE(csql_.SQLCheckTable(other, kCompanion)) << "the companion table is gone";
  EXPECT_TRUE(CompanionLocks(other, Spid(holder)).empty());
}

TEST_P(LocksEndToEnd, TwoWorkstationsRacingForOneLockExactlyOneGetsIt) {
  for (int round = 0; round < 3; ++round) {
    // The loser's statements give up waiting after the connection's command time-out.
    platform::Connection* stations[] = {&Open("Parvimar01", 3), &Open("Parvimar01", 3)};
    bool got[2] = {false, false};
    std::atomic<int> ready = 0;
    auto race = [&](int i) {
      ++ready;
      while (ready < 2) std::this_thread::yield();
      got[i] = csql_.ActivaLock(*stations[i], kTable);
    };
    std::thread first(race, 0);
    std::thread second(race, 1);
    first.join();
    second.join();
    ASSERT_NE(got[0], got[1]) << "round " << round;
    platform::Connection& winner = *stations[got[0] ? 0 : 1];
    platform::Connection& loser = *stations[got[0] ? 1 : 0];
    EXPECT_FALSE(loser.InTransaction());
    EXPECT_FALSE(csql_.SQLCheckLock(loser, kTable)) << "round " << round;
    EXPECT_FALSE(CompanionLocks(loser, Spid(winner)).empty());
    csql_.DesActivaLock(winner, kTable);
    EXPECT_TRUE(csql_.SQLCheckLock(loser, kTable));
    connections_.clear();
  }
}

TEST_P(LocksEndToEnd, ALockInAnotherDatabaseDoesNotCountEvenUnderTheSameObjectId) {
  platform::Connection& holder = Open("Parvimar01");
  ASSERT_TRUE(csql_.ActivaLock(holder, kTable));
  platform::Connection& elsewhere = Open("Parvimar02");
  ASSERT_TRUE(csql_.SQLCreateTable(elsewhere, kCompanion));
  const std::string id_query = "select a=object_id('" + std::string(kCompanion) + "')";
  if (GetParam() == Target::kStandin) {
    ASSERT_EQ(holder.Execute(id_query).Value("a").ToLong(), elsewhere.Execute(id_query).Value("a").ToLong())
        << "the two companion tables share an id, as new tables of databases made alike do";
  }
  EXPECT_TRUE(csql_.SQLCheckLock(elsewhere, kTable));
  EXPECT_FALSE(csql_.SQLCheckLock(Open("Parvimar01"), kTable));
  elsewhere.Execute("drop table " + std::string(kCompanion));
  csql_.DesActivaLock(holder, kTable);
}

TEST_P(LocksEndToEnd, TheHoldersDisconnectReleasesTheLock) {
  platform::Connection& holder = Open("Parvimar01");
  platform::Connection& other = Open("Parvimar01");
  ASSERT_TRUE(csql_.ActivaLock(holder, kTable));
  ASSERT_FALSE(csql_.SQLCheckLock(other, kTable));
  holder.Close();
  // The server ends the session once it sees the connection go.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool released = false;
  while (!(released = csql_.SQLCheckLock(other, kTable)) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(released);
  // The companion table stays behind; the next lock replaces it.
  EXPECT_TRUE(csql_.SQLCheckTable(other, kCompanion));
  EXPECT_TRUE(csql_.ActivaLock(other, kTable));
  csql_.DesActivaLock(other, kTable);
  EXPECT_FALSE(csql_.SQLCheckTable(other, kCompanion));
}

INSTANTIATE_TEST_SUITE_P(Targets, LocksEndToEnd, e2e::kTargets, e2e::TargetName);

}  // namespace
