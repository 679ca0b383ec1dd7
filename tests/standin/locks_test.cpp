// The locks of open transactions: what conflicts, how a statement waits for another session's lock and
// what ends the wait, sp_lock's listing, and object_name in the current database.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "catalog/scenario.h"
#include "engine/exec_context.h"
#include "engine/statement_registry.h"
#include "engine/transactions.h"

namespace standin {
namespace {

using nlohmann::json;
using Errors = std::vector<int32_t>;

json Table(const std::string& name, bool keyed) {
  json table = {
      {"name", name},
      {"columns",
       {{{"name", "Id"}, {"type", "int"}, {"nullable", false}}, {{"name", "xxx"}, {"type", "nvarchar(10)"}}}},
      {"rows", {{1, "a"}, {2, "b"}}}};
  if (keyed) table["constraints"] = {{{"type", "PRIMARY KEY"}, {"name", "PK_" + name}, {"columns", {"Id"}}}};
  return table;
}

json Scenario() {
  return {{"logins", {{{"name", "sa"}, {"password", "pw"}, {"server_roles", {"sysadmin"}}}}},
          {"databases",
           {{{"name", "Parvimar01"}, {"tables", {Table("T_", false), Table("K", true)}}},
            {{"name", "Parvimar02"}, {"tables", {Table("Outra", false)}}}}}};
}

// Sessions of one server, each running its batches as the wire's session thread does: under the state's
// mutex, which a statement waiting for a lock gives up while it waits.
class Server {
 public:
  Server() : state_(LoadScenario(Scenario()).catalog) {
    for (int c = 1; c <= 2; ++c) {
      SessionState& s = sessions_[c - 1];
      s.connection = c;
      s.spid = 50 + c;
      s.login = "sa";
      s.database = "Parvimar01";
      state_.sessions[c] = LiveSession{c, 50 + c, "sa", s.database, "host", "tests", "00", "runnable"};
    }
  }
  ~Server() {
    for (SessionState& s : sessions_) {
      std::lock_guard lock(state_.mu);
      RollbackOnDisconnect(state_, s);
    }
  }

  Reply Run(int connection, const std::string& text, const std::function<bool()>& interrupted = {},
            bool* cancelled = nullptr) {
    Reply reply;
    std::lock_guard lock(state_.mu);
    ExecContext ctx(state_, sessions_[connection - 1], reply);
    ctx.interrupted = interrupted;
    ExecuteText(ctx, text);
    if (cancelled) *cancelled = ctx.cancelled;
    return reply;
  }
  // sp_lock's rows for `spid` as "Type Mode Status", asked on the other connection.
  std::vector<std::string> Locks(int spid) {
    std::vector<std::string> out;
    const Reply r = Run(spid == 51 ? 2 : 1, "exec sp_lock " + std::to_string(spid));
    for (const auto& row : r.ResultSets().at(0)->rows) {
      out.push_back(Trim(row[4].ToText()) + " " + row[6].ToText() + " " + row[7].ToText());
    }
    return out;
  }
  // Waits until sp_lock shows `spid` waiting.
  void AwaitWaiting(int spid) {
    for (int i = 0; i < 2000; ++i) {
      for (const auto& row : Locks(spid)) {
        if (row.ends_with("WAIT")) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FAIL() << "spid " << spid << " never waited";
  }
  std::vector<std::string> Values(const std::string& table) {
    std::vector<std::string> out;
    std::lock_guard lock(state_.mu);
    for (const auto& row : state_.catalog.FindDatabase("Parvimar01")->FindTable(table)->rows) {
      out.push_back(row[1].ToText());
    }
    return out;
  }

  ServerState state_;
  SessionState sessions_[2];
};

TEST(Locks, ConflictsWithAnOpenTransactionTimeOutWith1222AndChangeNothing) {
  struct Case {
    const char* holder;  // connection 1
    const char* other;   // connection 2, after SET LOCK_TIMEOUT 0
    Errors errors;
  } cases[] = {
      {"begin tran update T_ set xxx='h'", "update T_ set xxx='o'", {1222}},
      {"begin tran update T_ set xxx='h'", "delete from T_", {1222}},
      {"begin tran update T_ set xxx='h'", "drop table T_", {1222}},
      {"begin tran update T_ set xxx='h'", "alter table T_ add c int", {1222}},
      {"begin tran delete from K where Id = 1", "insert into K values (1, 'o')", {1222}},
      {"begin tran insert into T_ values (3, 'h')", "update T_ set xxx='o'", {1222}},
      {"begin tran alter table K add c int", "update K set xxx='o'", {1222}},
      // Other rows, another table, and locks that ended with their statement or transaction.
      {"begin tran update K set xxx='h' where Id = 1", "update K set xxx='o' where Id = 2", {}},
      {"begin tran update K set xxx='h' where Id = 1", "insert into K values (3, 'o')", {}},
      {"begin tran update K set xxx='h'", "update T_ set xxx='o'", {}},
      {"update T_ set xxx='h'", "update T_ set xxx='o'", {}},
      {"begin tran update T_ set xxx='h' commit", "drop table T_", {}},
      {"begin tran update T_ set xxx='h' rollback", "update T_ set xxx='o'", {}},
      {"begin tran select * from T_", "drop table T_", {}},
  };
  for (const auto& c : cases) {
    Server server;
    ASSERT_EQ(server.Run(1, c.holder).ErrorNumbers(), Errors{}) << c.holder;
    const auto before = server.Values("T_");
    const Reply r = server.Run(2, std::string("set lock_timeout 0 ") + c.other);
    EXPECT_EQ(r.ErrorNumbers(), c.errors) << c.holder << " / " << c.other;
    if (!c.errors.empty()) {
      EXPECT_EQ(r.FirstError()->text, "Lock request time out period exceeded.");
      EXPECT_EQ(r.FirstError()->severity, 16);
      EXPECT_EQ(server.Values("T_"), before) << c.other;
    }
  }
}

TEST(Locks, SpLockListsTheTransactionsLocksWithTheServersShape) {
  Server server;
  server.Run(1, "begin tran update T_ set xxx='h' where Id = 2");
  const Reply r = server.Run(2, "sp_lock");
  const ResultSet& rs = *r.ResultSets().at(0);
  std::vector<std::string> columns;
  for (const auto& c : rs.columns) columns.push_back(c.name + " " + c.type.DeclText());
  EXPECT_EQ(columns, (std::vector<std::string>{"spid smallint", "dbid smallint", "ObjId int",
                                               "IndId smallint", "Type nchar(4)", "Resource nchar(32)",
                                               "Mode nvarchar(8)", "Status nvarchar(5)"}));
  EXPECT_EQ(server.Locks(51),
            (std::vector<std::string>{"DB S GRANT", "TAB IX GRANT", "PAG IX GRANT", "RID X GRANT"}));
  EXPECT_EQ(server.Locks(52), (std::vector<std::string>{"DB S GRANT"}));
  const int64_t table_id = server.state_.catalog.FindDatabase("Parvimar01")->FindTable("T_")->object_id;
  EXPECT_EQ(rs.rows[1][2], Value(table_id));
  EXPECT_EQ(rs.rows[1][1],
            Value(static_cast<int64_t>(server.state_.catalog.FindDatabase("Parvimar01")->dbid)));

  server.Run(1, "commit");
  EXPECT_EQ(server.Locks(51), (std::vector<std::string>{"DB S GRANT"}));
}

TEST(Locks, AWaitingStatementShowsWaitAndRunsWhenTheHolderEnds) {
  struct Case {
    const char* end;  // what ends connection 1's transaction
    std::vector<std::string> values;
  } cases[] = {{"commit", {"o", "o"}}, {"rollback", {"o", "o"}}, {"", {"o", "o"}}};
  for (const auto& c : cases) {
    Server server;
    server.Run(1, "begin tran update T_ set xxx='h'");
    Reply waited;
    std::thread other([&] { waited = server.Run(2, "update T_ set xxx='o'"); });
    server.AwaitWaiting(52);
    EXPECT_EQ(server.Locks(52), (std::vector<std::string>{"DB S GRANT", "RID X WAIT"}));
    if (*c.end) {
      server.Run(1, c.end);
    } else {
      std::lock_guard lock(server.state_.mu);  // the holder's connection ends
      RollbackOnDisconnect(server.state_, server.sessions_[0]);
    }
    other.join();
    EXPECT_EQ(waited.ErrorNumbers(), Errors{}) << c.end;
    EXPECT_EQ(server.Values("T_"), c.values) << c.end;
    EXPECT_EQ(server.Locks(52), (std::vector<std::string>{"DB S GRANT"}));
  }
}

TEST(Locks, TheClientsCancelOrALockTimeOutEndsTheWait) {
  Server server;
  server.Run(1, "begin tran update T_ set xxx='h'");
  std::atomic<bool> cancel = false;
  bool cancelled = false;
  Reply waited;
  std::thread other([&] {
    waited = server.Run(
        2, "drop table T_ select 1", [&] { return cancel.load(); }, &cancelled);
  });
  server.AwaitWaiting(52);
  cancel = true;
  other.join();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(waited.ResultSets().empty()) << "the batch stops";
  EXPECT_EQ(server.Locks(52), (std::vector<std::string>{"DB S GRANT"}));

  const Reply timed_out = server.Run(2, "set lock_timeout 20 drop table T_ select 1");
  EXPECT_EQ(timed_out.ErrorNumbers(), Errors{1222});
  EXPECT_EQ(timed_out.ResultSets().size(), 1u) << "a lock time-out ends only its statement";
  EXPECT_EQ(server.Values("T_"), (std::vector<std::string>{"h", "h"}));
}

TEST(Locks, ADeadlockRollsBackOneTransactionAndTheOtherGoesOn) {
  Server server;
  server.Run(1, "begin tran update K set xxx='1' where Id = 1");
  server.Run(2, "begin tran update K set xxx='2' where Id = 2");
  Reply first;
  std::thread one([&] { first = server.Run(1, "update K set xxx='1' where Id = 2"); });
  server.AwaitWaiting(51);
  const Reply second = server.Run(2, "update K set xxx='2' where Id = 1");
  one.join();
  EXPECT_EQ(second.ErrorNumbers(), Errors{1205});
  EXPECT_EQ(server.sessions_[1].trancount, 0);
  EXPECT_EQ(first.ErrorNumbers(), Errors{});
  server.Run(1, "commit");
  EXPECT_EQ(server.Values("K"), (std::vector<std::string>{"1", "1"}));
}

TEST(Locks, ObjectNameResolvesIdsInTheCurrentDatabaseOrTheOneNamed) {
  Server server;
  const auto& catalog = server.state_.catalog;
  const int32_t id = catalog.databases[4].tables[0].object_id;
  ASSERT_EQ(catalog.databases[5].tables[0].object_id, id) << "databases start the same id sequence";
  const std::string other_dbid = std::to_string(catalog.databases[5].dbid);
  struct Case {
    std::string text;
    std::string name;
  } cases[] = {
      {"select a=isnull(object_name(" + std::to_string(id) + "),'' )", "T_"},
      {"select a=isnull(object_name(" + std::to_string(id) + ", " + other_dbid + "),'' )", "Outra"},
      {"select a=isnull(object_name(12),'' )", ""},
  };
  for (const auto& c : cases) {
    const Reply r = server.Run(1, c.text);
    ASSERT_EQ(r.ErrorNumbers(), Errors{}) << c.text;
    EXPECT_EQ(r.ResultSets().at(0)->columns.at(0).name, "a");
    EXPECT_EQ(r.ResultSets().at(0)->rows.at(0).at(0), Value(c.name)) << c.text;
  }
}

}  // namespace
}  // namespace standin
