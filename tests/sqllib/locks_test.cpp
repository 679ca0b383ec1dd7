#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "error_number.h"
#include "open_connection_test.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

constexpr const char* kCheck = "sp_tables @table_name = 'Tab[_]'";
constexpr const char* kUpdate = "update Tab_  set xxx='xxx'";

platform::BatchReply Changed(std::int64_t rows) {
  platform::BatchReply reply;
  reply.rows_affected = rows;
  return reply;
}

class CSqlLocksTest : public testsupport::OpenConnectionTest {
 protected:
  CSql& sql_ = SharedCSql();
};

TEST_F(CSqlLocksTest, TakesAndReleasesTheLockOnTheCallersConnection) {
  driver_->OnExecute("db", kCheck, Reply({Table({"TABLE_NAME"}, {{Variant("Tab_")}})}));
  driver_->OnExecute("db", kUpdate, Changed(1));

  ASSERT_TRUE(sql_.ActivaLock(conn_, "Tab"));
  EXPECT_TRUE(conn_.InTransaction()) << "the open transaction is the lock";
  sql_.DesActivaLock(conn_, "Tab");
  EXPECT_FALSE(conn_.InTransaction());

  EXPECT_EQ(
      driver_->Trace("db"),
      (std::vector<std::string>{
          kCheck, "drop table Tab_", kCheck, "drop table Tab_",
          " create table Tab_ ( NumRegisto numeric (18,0) identity (1,1) not null )",
          "ALTER TABLE [dbo].[Tab_] WITH NOCHECK ADD  CONSTRAINT [PK_Tab_] PRIMARY KEY  NONCLUSTERED  ( "
          "[NumRegisto] )  ON [PRIMARY]",
          " alter table Tab_ add XXX nvarchar (10) NULL ", "insert into Tab_ (xxx) values ('xxx')", "<begin>",
          kUpdate,
          // Release: the companion table goes inside the transaction, then it ends.
          kCheck, "drop table Tab_", "<commit>"}));
  EXPECT_EQ(ui_->events_pumped, 4);
  EXPECT_EQ(driver_->OpenSessions(), 1) << "no connection of its own";
}

TEST_F(CSqlLocksTest, NeverReportsALockItDoesNotHold) {
  struct Case {
    const char* what;
    bool companion_exists;
    const char* failing;    // statement that fails, or nullptr
    std::int64_t changed;   // rows the update changes
    const char* last_step;  // the last step of the trace
  } cases[] = {
      {"companion table held by another workstation", true, "drop table Tab_", 1, "drop table Tab_"},
      {"companion table made meanwhile by another", false,
       " create table Tab_ ( NumRegisto numeric (18,0) identity (1,1) not null )", 1,
       " create table Tab_ ( NumRegisto numeric (18,0) identity (1,1) not null )"},
      {"update waits and times out", false, kUpdate, 1, "<rollback>"},
      {"update holds no row", false, nullptr, 0, "<rollback>"},
  };
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver driver;
    platform::Connection conn;
    conn.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv");
    if (c.companion_exists) {
      driver->OnExecute("db", kCheck, Reply({Table({"TABLE_NAME"}, {{Variant("Tab_")}})}));
    }
    driver->OnExecute("db", kUpdate, Changed(c.changed));
    if (c.failing)
      driver->FailExecute("db", c.failing, Error(1222, "Lock request time out period exceeded."));

    EXPECT_FALSE(sql_.ActivaLock(conn, "Tab")) << c.what;
    EXPECT_FALSE(conn.InTransaction()) << c.what;
    EXPECT_EQ(driver->Trace("db").back(), c.last_step) << c.what;
  }
}

TEST_F(CSqlLocksTest, ASecondTableOnTheSameConnectionIsRefusedAndTheFirstLockStays) {
  driver_->OnExecute("db", kUpdate, Changed(1));
  ASSERT_TRUE(sql_.ActivaLock(conn_, "Tab"));
  const auto sent = driver_->Trace("db").size();

  EXPECT_FALSE(sql_.ActivaLock(conn_, "Outra"));
  EXPECT_EQ(driver_->Trace("db").size(), sent) << "nothing sent, nothing committed";
  EXPECT_TRUE(conn_.InTransaction());
}

TEST_F(CSqlLocksTest, CheckLockNamesOnlyLocksOfTheCurrentDatabase) {
  driver_->OnExecute("db", "select a=db_id()", Reply({Table({"a"}, {{Variant(std::int16_t{7})}})}));
  driver_->OnExecute(
      "db", "sp_lock",
      Reply({Table(
          {"spid", "dbid", "ObjId", "IndId", "Type", "Resource", "Mode", "Status"},
          {{Variant(std::int16_t{52}), Variant(std::int16_t{9}), Variant(300), 0, "TAB", "", "IX", "GRANT"},
           {Variant(std::int16_t{53}), Variant(std::int16_t{7}), Variant(200), 0, "TAB", "", "IX", "GRANT"},
           {Variant(std::int16_t{53}), Variant(std::int16_t{7}), Variant(200), 1, "KEY", "(8194443284a0)",
            "X", "GRANT"},
           {Variant(std::int16_t{54}), Variant(std::int16_t{7}), Variant(300), 0, "TAB", "", "IX",
            "GRANT"}})}));
  driver_->OnExecute("db", "select a=isnull(object_name(200),'' )",
                     Reply({Table({"a"}, {{Variant("Tab")}})}));
  driver_->OnExecute("db", "select a=isnull(object_name(300),'' )",
                     Reply({Table({"a"}, {{Variant(" tab_ ")}})}));

  EXPECT_FALSE(sql_.SQLCheckLock(conn_, "Tab")) << "the companion table, in any case and spacing";
  EXPECT_EQ(driver_->Statements("db"),
            (std::vector<std::string>{"select a=db_id()", "sp_lock", "select a=isnull(object_name(200),'' )",
                                      "select a=isnull(object_name(300),'' )"}))
      << "the lock in database 9 is never named, Tab's second lock not again; Tab's own do not count";

  EXPECT_TRUE(sql_.SQLCheckLock(conn_, "Outra"));
  driver_->FailExecute("db", "sp_lock", Error(229, "The EXECUTE permission was denied."));
  EXPECT_EQ(testsupport::ErrorNumber([&] { sql_.SQLCheckLock(conn_, "Tab"); }), 229);
}

TEST_F(CSqlLocksTest, IsLoggedOnCountsProcessesWithANetworkAddress) {
  gServer = "srv";
  const std::string query =
      "select * from sysprocesses where net_address<>' ' and upper(loginame)=upper('O''Brien')";
  for (const auto& [rows, expected] : std::vector<std::pair<int, bool>>{{2, false}, {3, true}, {0, false}}) {
    std::vector<std::vector<Variant>> processes(static_cast<std::size_t>(rows), {Variant(std::int16_t{51})});
    driver_->OnExecute("master", query, Reply({Table({"spid"}, processes)}));
    std::string info = "antes";
    EXPECT_EQ(sql_.isLoggedOn("O'Brien", info), expected) << rows << " processes";
    EXPECT_EQ(info, rows == 0 ? "" : "antes") << rows << " processes";
  }
  EXPECT_EQ(driver_->Statements("master").back(), query);

  driver_->FailExecute("master", query, Error(208, "Invalid object name 'sysprocesses'."));
  EXPECT_FALSE(sql_.isLoggedOn("O'Brien"));
  ASSERT_EQ(ui_->boxes.size(), 1U);
  EXPECT_EQ(ui_->boxes[0].text, "208\rInvalid object name 'sysprocesses'.");
  EXPECT_EQ(driver_->OpenSessions(), 1) << "its own connections are closed";
  gServer.clear();
}

}  // namespace
