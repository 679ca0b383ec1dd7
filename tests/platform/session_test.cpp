// Connection, Recordset and Command over a fake driver: opening and closing,
// walking results, NextRecordset, errors after a result, commands with output
// parameters, and transactions.
#include "platform/session.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "error_number.h"
#include "platform/driver.h"
#include "platform/error.h"
#include "session_fake_driver.h"

namespace {

using platform::BatchReply;
using platform::Command;
using platform::Connection;
using platform::Error;
using platform::ParameterDirection;
using platform::Recordset;
using platform::Variant;
using sessiontest::FakeDriverTest;
using sessiontest::RowCount;
using sessiontest::Rows;

constexpr char kLoginForm[] =
    "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data Source=srv";

using testsupport::ErrorNumber;

class SessionTest : public FakeDriverTest {
 protected:
  Connection Open() {
    Connection connection;
    connection.SetConnectionString(kLoginForm);
    connection.Open({}, {}, "pw");
    return connection;
  }
};

TEST_F(SessionTest, OpenHandsThePasswordAndTimeoutToTheDriverButNotToTheString) {
  Connection connection;
  connection.SetCommandTimeout(600);
  connection.SetConnectionTimeout(7);
  connection.SetConnectionString(kLoginForm);
  connection.Open({}, {}, "s3cret;x");
  ASSERT_EQ(driver_->requests.size(), 1u);
  EXPECT_EQ(driver_->requests[0].password, "s3cret;x");
  EXPECT_EQ(driver_->requests[0].login, "sa");
  EXPECT_EQ(driver_->requests[0].server, "srv");
  EXPECT_EQ(driver_->requests[0].login_timeout_seconds, 7);
  EXPECT_EQ(connection.ConnectionString(), kLoginForm);
  EXPECT_EQ(connection.State(), platform::kStateOpen);

  // A password written into the string is used once and then dropped from it.
  Connection other;
  other.Open("Data Source=srv;Password=\"a;b\";User ID=sa");
  EXPECT_EQ(driver_->requests[1].password, "a;b");
  EXPECT_EQ(other.ConnectionString(), "Data Source=srv;User ID=sa");
}

TEST_F(SessionTest, OpenCloseAndTheirMisuse) {
  Connection connection = Open();
  EXPECT_EQ(ErrorNumber([&] { connection.Open(kLoginForm); }), platform::kErrObjectOpen);
  EXPECT_EQ(ErrorNumber([&] { connection.SetConnectionString(kLoginForm); }), platform::kErrObjectOpen);
  EXPECT_EQ(ErrorNumber([&] { connection.SetConnectionTimeout(5); }), platform::kErrObjectOpen);
  EXPECT_EQ(driver_->open_sessions, 1);
  connection.Close();
  EXPECT_EQ(connection.State(), platform::kStateClosed);
  EXPECT_EQ(driver_->open_sessions, 0);
  EXPECT_EQ(ErrorNumber([&] { connection.Close(); }), platform::kErrObjectClosed);
  EXPECT_EQ(ErrorNumber([&] { connection.Execute("select 1"); }), platform::kErrConnectionUnusable);
}

TEST_F(SessionTest, FailedOpenLeavesTheConnectionClosed) {
  driver_->connect_error = Error(18456, "Login failed for user 'sa'.", "28000");
  Connection connection;
  connection.SetConnectionString(kLoginForm);
  EXPECT_EQ(ErrorNumber([&] { connection.Open({}, {}, "bad"); }), 18456);
  EXPECT_EQ(connection.State(), platform::kStateClosed);
  driver_->connect_error.reset();
  connection.Open({}, {}, "good");
  EXPECT_EQ(connection.State(), platform::kStateOpen);
}

TEST_F(SessionTest, BofAndEofFollowTheRows) {
  struct Case {
    const char* name;
    int rows;
    int moves;
    bool bof;
    bool eof;
  };
  const Case cases[] = {
      {"empty", 0, 0, true, true},
      {"first of two", 2, 0, false, false},
      {"second of two", 2, 1, false, false},
      {"past the last", 2, 2, false, true},
  };
  Connection connection = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<Variant>> rows;
    for (int i = 0; i < c.rows; ++i) rows.push_back({Variant(std::int32_t{i})});
    driver_->Script(Rows({"n"}, rows));
    Recordset result = connection.Execute("select n from t");
    EXPECT_EQ(result.State(), platform::kStateOpen);
    for (int i = 0; i < c.moves; ++i) result.MoveNext();
    EXPECT_EQ(result.Bof(), c.bof);
    EXPECT_EQ(result.Eof(), c.eof);
    if (c.eof) {
      EXPECT_EQ(ErrorNumber([&] { result.MoveNext(); }), platform::kErrBofOrEof);
      EXPECT_EQ(ErrorNumber([&] { (void)result.Value("n"); }), platform::kErrBofOrEof);
    } else {
      EXPECT_EQ(result.Value("n").ToLong(), c.moves);
    }
  }
}

TEST_F(SessionTest, ABatchWithoutColumnsGivesAClosedRecordset) {
  Connection connection = Open();
  driver_->Script(BatchReply{});
  Recordset result = connection.Execute("drop index MovCliente.ix1");
  EXPECT_EQ(result.State(), platform::kStateClosed);
  EXPECT_EQ(ErrorNumber([&] { (void)result.Eof(); }), platform::kErrObjectClosed);
  EXPECT_EQ(ErrorNumber([&] { result.Close(); }), platform::kErrObjectClosed);
  EXPECT_EQ(ErrorNumber([&] { (void)result.Fields("x"); }), platform::kErrObjectClosed);
  EXPECT_EQ(driver_->statements.back(), "drop index MovCliente.ix1");
}

TEST_F(SessionTest, FieldsByNameIgnoreCaseAndNullIsNull) {
  Connection connection = Open();
  driver_->Script(Rows({"index_name", "index_keys"}, {{Variant("ix1"), Variant::Null()}}));
  Recordset result = connection.Execute("sp_helpindex movcliente");
  EXPECT_EQ(result.Fields("INDEX_NAME").Value().ToString(), "ix1");
  EXPECT_EQ(result.Fields("Index_Keys").Name(), "index_keys");
  EXPECT_TRUE(result.Value("index_keys").IsNull());
  EXPECT_EQ(result.Fields(1).Name(), "index_keys");
  EXPECT_EQ(result.FieldCount(), 2);
  EXPECT_EQ(ErrorNumber([&] { (void)result.Fields("index"); }), platform::kErrItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { (void)result.Fields(2); }), platform::kErrItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { (void)result.Fields(-1); }), platform::kErrItemNotFound);

  // A field kept across a reopen with fewer columns does not read past them.
  const platform::Field second = result.Fields(1);
  result.Close();
  EXPECT_EQ(ErrorNumber([&] { (void)second.Name(); }), platform::kErrObjectClosed);
  driver_->Script(Rows({"only"}, {{Variant("x")}}));
  result.Open("select only from t", connection);
  EXPECT_EQ(ErrorNumber([&] { (void)second.Value(); }), platform::kErrItemNotFound);
}

TEST_F(SessionTest, NextRecordsetWalksTheBatchAndEndsInNothing) {
  Connection connection = Open();
  BatchReply reply;
  reply.results.push_back(Rows({"Object"}, {{Variant("MovCliente")}}).results[0]);
  reply.results.push_back(RowCount(3).results[0]);
  reply.results.push_back(Rows({"constraint_type"}, {{Variant("DEFAULT on column DataSys")}}).results[0]);
  driver_->Script(reply);

  Recordset first = connection.Execute("sp_helpconstraint 'MovCliente'");
  EXPECT_EQ(first.Value("Object").ToString(), "MovCliente");
  Recordset second = first.NextRecordset();
  EXPECT_EQ(first.State(), platform::kStateClosed);
  EXPECT_EQ(second.State(), platform::kStateClosed);  // a row count, not rows
  EXPECT_FALSE(second.IsNothing());
  Recordset third = second.NextRecordset();
  EXPECT_EQ(third.Value("constraint_type").ToString(), "DEFAULT on column DataSys");
  Recordset end = third.NextRecordset();
  EXPECT_TRUE(end.IsNothing());
  EXPECT_EQ(end.State(), platform::kStateClosed);
  EXPECT_EQ(ErrorNumber([&] { (void)end.NextRecordset(); }), platform::kErrObjectClosed);
  EXPECT_EQ(ErrorNumber([&] { (void)first.NextRecordset(); }), platform::kErrObjectClosed);
}

TEST_F(SessionTest, AnErrorAfterAResultSurfacesAtNextRecordset) {
  Connection connection = Open();
  BatchReply reply = Rows({"a"}, {{Variant(std::int32_t{1})}});
  reply.trailing_error = Error(8134, "Divide by zero error encountered.", "22012");
  driver_->Script(reply);
  Recordset result = connection.Execute("select 1 as a; select 1/0");
  EXPECT_EQ(result.Value("a").ToLong(), 1);
  EXPECT_EQ(ErrorNumber([&] { (void)result.NextRecordset(); }), 8134);
  EXPECT_EQ(result.State(), platform::kStateClosed);

  // Without records asked for, nobody would see it later: it is raised at once.
  driver_->Script(reply);
  EXPECT_EQ(
      ErrorNumber([&] { connection.Execute("select 1 as a; select 1/0", platform::kExecuteNoRecords); }),
      8134);
}

TEST_F(SessionTest, MessagesComeWithTheResult) {
  Connection connection = Open();
  BatchReply reply;
  reply.messages = {"The object 'MovCliente' does not have any indexes, or you do not have permissions."};
  driver_->Script(reply);
  Recordset result = connection.Execute("sp_helpindex movcliente");
  EXPECT_EQ(result.State(), platform::kStateClosed);
  EXPECT_EQ(result.Messages(), reply.messages);
}

TEST_F(SessionTest, ResultsStayReadableWhileTheConnectionRunsOtherStatements) {
  Connection connection = Open();
  driver_->Script(Rows({"index_name"}, {{Variant("ix1")}, {Variant("ix2")}}));
  Recordset list = connection.Execute("sp_helpindex movcliente");
  while (!list.Eof()) {
    connection.Execute("Drop index MovCliente." + list.Value("index_name").ToString());
    list.MoveNext();
  }
  // And after the connection is gone, too.
  connection.Close();
  EXPECT_TRUE(list.Eof());
  const std::vector<std::string> expected = {"sp_helpindex movcliente", "Drop index MovCliente.ix1",
                                             "Drop index MovCliente.ix2"};
  EXPECT_EQ(driver_->statements, expected);
}

TEST_F(SessionTest, RecordsetOpenRunsTheSourceOnTheConnection) {
  Connection connection = Open();
  driver_->Script(Rows({"name"}, {{Variant("Parvimar01")}}));
  Recordset list;
  list.Open("Select name from sysdatabases where name like 'Parvimar%'", connection,
            platform::CursorType::kForwardOnly, platform::LockType::kReadOnly);
  EXPECT_EQ(list.Value("NAME").ToString(), "Parvimar01");
  EXPECT_EQ(ErrorNumber([&] { list.Open("select 1", connection); }), platform::kErrObjectOpen);
  list.Close();
  EXPECT_EQ(list.State(), platform::kStateClosed);

  Connection closed;
  EXPECT_EQ(ErrorNumber([&] { list.Open("select 1", closed); }), platform::kErrConnectionUnusable);
}

TEST_F(SessionTest, TransactionsReachTheSessionInOrder) {
  Connection connection = Open();
  connection.BeginTrans();
  EXPECT_EQ(ErrorNumber([&] { connection.BeginTrans(); }), platform::kErrTransactionActive);
  connection.CommitTrans();
  EXPECT_EQ(ErrorNumber([&] { connection.CommitTrans(); }), platform::kErrNoTransaction);
  EXPECT_EQ(ErrorNumber([&] { connection.RollbackTrans(); }), platform::kErrNoTransaction);
  connection.BeginTrans();
  connection.RollbackTrans();
  const std::vector<std::string> expected = {"<begin>", "<commit>", "<begin>", "<rollback>"};
  EXPECT_EQ(driver_->statements, expected);
}

TEST_F(SessionTest, AFailedCommitLeavesTheTransactionToRollBack) {
  Connection connection = Open();
  connection.BeginTrans();
  driver_->commit_error =
      Error(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  EXPECT_EQ(ErrorNumber([&] { connection.CommitTrans(); }), 3902);
  connection.RollbackTrans();
  const std::vector<std::string> expected = {"<begin>", "<commit>", "<rollback>"};
  EXPECT_EQ(driver_->statements, expected);
}

TEST_F(SessionTest, StoredProcedureOutputAndReturnValues) {
  Connection connection = Open();
  driver_->on_command = [](std::vector<platform::ParameterBinding>& parameters) {
    parameters[0].value = Variant(std::int32_t{0});
    parameters[1].value = Variant("0001");
  };
  driver_->Script(BatchReply{});
  Command command;
  command.SetActiveConnection(connection);
  command.SetCommandText("GetAcessoPrincipal");
  command.SetCommandType(platform::CommandType::kStoredProcedure);
  command.AppendParameter(command.CreateParameter("@RETURN_VALUE", platform::DataType::kInteger,
                                                  ParameterDirection::kReturnValue, 0));
  command.AppendParameter(
      command.CreateParameter("@Empresa", platform::DataType::kVarWChar, ParameterDirection::kOutput, 4));
  EXPECT_EQ(ErrorNumber([&] {
              command.AppendParameter(command.CreateParameter("@r2", platform::DataType::kInteger,
                                                              ParameterDirection::kReturnValue, 0));
            }),
            platform::kErrInvalidUse);
  const Recordset result = command.Execute();
  EXPECT_EQ(result.State(), platform::kStateClosed);
  EXPECT_EQ(command.Parameters("@EMPRESA").Value().ToString(), "0001");
  EXPECT_EQ(command.Parameters("@return_value").Value().ToLong(), 0);
  EXPECT_EQ(ErrorNumber([&] { (void)command.Parameters("@Other"); }), platform::kErrItemNotFound);

  ASSERT_EQ(driver_->commands.size(), 1u);
  EXPECT_EQ(driver_->commands[0].text, "GetAcessoPrincipal");
  EXPECT_EQ(driver_->commands[0].type, platform::CommandType::kStoredProcedure);
  ASSERT_EQ(driver_->commands[0].parameters.size(), 2u);
  EXPECT_EQ(driver_->commands[0].parameters[1].size, 4);
}

TEST_F(SessionTest, CommandInputValuesStayAndNeedAConnection) {
  Command command;
  command.SetCommandText("update t set a = ? where b = ?");
  EXPECT_EQ(ErrorNumber([&] { command.Execute(); }), platform::kErrConnectionUnusable);
  Connection connection = Open();
  command.SetActiveConnection(connection);
  command.AppendParameter(command.CreateParameter("a", platform::DataType::kInteger,
                                                  ParameterDirection::kInput, 0, Variant(std::int32_t{5})));
  driver_->on_command = [](std::vector<platform::ParameterBinding>& parameters) {
    parameters[0].value = Variant("changed by the driver");
  };
  driver_->Script(RowCount(1));
  command.Execute(platform::kExecuteNoRecords);
  // An input parameter keeps what the caller gave it.
  EXPECT_EQ(command.Parameters(0).Value().ToLong(), 5);
  EXPECT_EQ(driver_->commands[0].parameters[0].value.ToLong(), 5);
}

}  // namespace
