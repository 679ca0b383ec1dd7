// The stand-in through unixODBC and the FreeTDS ODBC driver, the stack the product uses: logins and their
// failures, the conversion run's statements, errors with their native numbers, transactions, cancel, faults,
// procedure calls with output parameters and parameterised statements.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "standin_process.h"

namespace {

using testsupport::StandinProcess;

struct DiagRecord {
  std::string state;
  int native = 0;
  std::string text;
};

std::vector<DiagRecord> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<DiagRecord> out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {0};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &len))) break;
    out.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
  }
  return out;
}

std::vector<int> Natives(const std::vector<DiagRecord>& records) {
  std::vector<int> out;
  for (const auto& r : records) out.push_back(r.native);
  return out;
}

class Connection {
 public:
  Connection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~Connection() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLRETURN Open(const std::string& connection_string) {
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connection_string.c_str(), SQL_NTS, nullptr, 0,
                                    nullptr, SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(rc);
    if (connected_) SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
    return rc;
  }
  void Close() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = nullptr;
    SQLDisconnect(dbc_);
    connected_ = false;
  }
  SQLRETURN Exec(const std::string& text) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return SQLExecDirect(stmt_, (SQLCHAR*)text.c_str(), SQL_NTS);
  }
  // All rows of the current result set, the named column as text.
  std::vector<std::string> Column(const std::string& name) {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt_, &columns);
    SQLUSMALLINT index = 0;
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      SQLCHAR col_name[256];
      SQLSMALLINT len, type, digits, nullable;
      SQLULEN size;
      SQLDescribeCol(stmt_, c, col_name, sizeof col_name, &len, &type, &size, &digits, &nullable);
      if (name == reinterpret_cast<char*>(col_name)) index = c;
    }
    std::vector<std::string> out;
    if (index == 0) return out;
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
      char buf[4096];
      SQLLEN ind = 0;
      SQLGetData(stmt_, index, SQL_C_CHAR, buf, sizeof buf, &ind);
      out.push_back(ind == SQL_NULL_DATA ? "NULL" : std::string(buf));
    }
    return out;
  }
  std::vector<DiagRecord> StmtDiag() { return Diagnostics(SQL_HANDLE_STMT, stmt_); }
  std::vector<DiagRecord> DbcDiag() { return Diagnostics(SQL_HANDLE_DBC, dbc_); }
  SQLHDBC dbc() { return dbc_; }
  SQLHSTMT stmt() { return stmt_; }

 private:
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  bool connected_ = false;
};

class OdbcWire : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new StandinProcess(STANDIN_BINARY, STANDIN_DEMO); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { server_->Control("RESET"); }
  StandinProcess& server() { return *server_; }
  static StandinProcess* server_;
};
StandinProcess* OdbcWire::server_ = nullptr;

bool Ok(SQLRETURN rc) {
  return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
}

TEST_F(OdbcWire, LoginFailuresCarryTheServersNumbers) {
  struct Case {
    const char* label;
    const char* fault;
    std::string connection;
    std::vector<int> natives;  // the server's message numbers among the diagnostic records, ascending
  } cases[] = {
      {"wrong password", nullptr, server().ConnectionString("master", "errada"), {18456}},
      {"unknown database", nullptr, server().ConnectionString("NaoExiste"), {4060, 18456}},
      {"offline database",
       "FAULT OFFLINE Parvimar03",
       server().ConnectionString("Parvimar03"),
       {4060, 18456}},
      {"unknown login", nullptr, server().ConnectionString("master", "x", "ninguem"), {18456}},
      {"disabled login", nullptr, server().ConnectionString("master", "Antigo#1", "antigo"), {18456}},
      {"logins refused", "FAULT REFUSE_LOGINS on", server().ConnectionString("master"), {18456}},
  };
  for (const auto& c : cases) {
    server().Control("RESET");
    if (c.fault) {
      server().Control(c.fault);
    }
    Connection conn;
    EXPECT_FALSE(SQL_SUCCEEDED(conn.Open(c.connection))) << c.label;
    // The driver reorders the records, so compare them as a set; the wire order is checked by the python-tds
    // test.
    std::vector<int> natives;
    for (int n : Natives(conn.DbcDiag())) {
      if (n != 0) natives.push_back(n);
    }
    std::sort(natives.begin(), natives.end());
    EXPECT_EQ(natives, c.natives) << c.label;
  }
}

TEST_F(OdbcWire, ConversionStatementsChangeTheColumnAndAreLoggedVerbatim) {
  Connection master;
  ASSERT_TRUE(SQL_SUCCEEDED(master.Open(server().ConnectionString("master"))));
  ASSERT_TRUE(SQL_SUCCEEDED(master.Exec("Select name from sysdatabases where name like 'Parvimar%'")));
  EXPECT_EQ(master.Column("name"), (std::vector<std::string>{"Parvimar01", "Parvimar02", "Parvimar03",
                                                             "Parvimar04", "Parvimar05", "Parvimar06"}));
  server().Control("LOG CLEAR");

  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar02"))));
  const std::string type_query =
      "Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where "
      "syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'";
  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec(type_query)));
  EXPECT_EQ(db.Column("name"), (std::vector<std::string>{"nvarchar", "sysname"}));

  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec("sp_helpindex movcliente")));
  EXPECT_EQ(db.Column("index_keys"),
            (std::vector<std::string>{"Cliente", "NumRegisto, DataSys", "NumRegisto"}));
  EXPECT_TRUE(Ok(db.Exec("Drop index MovCliente.IX_MovCliente_Registo")));

  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec("sp_helpconstraint 'MovCliente'")));
  EXPECT_EQ(db.Column("Object Name"), (std::vector<std::string>{"MovCliente"}));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLMoreResults(db.stmt())));
  EXPECT_EQ(db.Column("constraint_type"),
            (std::vector<std::string>{"DEFAULT on column DataSys", "PRIMARY KEY (clustered)"}));
  EXPECT_TRUE(Ok(db.Exec("Alter Table MovCliente Drop Constraint  DF_MovCliente_DataSys")));

  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec("sp_helpstats movcliente")));
  EXPECT_EQ(db.Column("statistics_name"),
            (std::vector<std::string>{"_WA_Sys_00000004_3A81B327", "ST_MovCliente_DataSys"}));
  EXPECT_TRUE(Ok(db.Exec("drop statistics MovCliente._WA_Sys_00000004_3A81B327")));
  EXPECT_TRUE(Ok(db.Exec("drop statistics MovCliente.ST_MovCliente_DataSys")));
  EXPECT_TRUE(Ok(db.Exec(" alter table MovCliente ALTER COLUMN DataSys datetime null")));

  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec(type_query)));
  EXPECT_EQ(db.Column("name"), (std::vector<std::string>{"datetime"}));
  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec("select DataSys from MovCliente where NumRegisto = 2")));
  EXPECT_EQ(db.Column("DataSys"), (std::vector<std::string>{"2024-03-02 00:00:00.000"}));

  std::string state = server().Control("STATE Parvimar02");
  EXPECT_NE(state.find("\"type\":\"datetime\""), std::string::npos) << state;
  EXPECT_EQ(state.find("IX_MovCliente_Registo"), std::string::npos) << state;
  std::string log = server().Control("LOG");
  for (const char* text : {"Alter Table MovCliente Drop Constraint  DF_MovCliente_DataSys",
                           " alter table MovCliente ALTER COLUMN DataSys datetime null"}) {
    EXPECT_NE(log.find(std::string("\"text\":\"") + text + "\""), std::string::npos) << text;
  }
}

TEST_F(OdbcWire, RefusedChangesReturnErrorsWithNativeNumbers) {
  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar06"))));
  EXPECT_EQ(db.Exec(" alter table MovCliente ALTER COLUMN DataSys datetime null"), SQL_ERROR);
  EXPECT_EQ(Natives(db.StmtDiag()), (std::vector<int>{5074, 5074, 5074, 4922}));

  Connection bad_values;
  ASSERT_TRUE(SQL_SUCCEEDED(bad_values.Open(server().ConnectionString("Parvimar04"))));
  for (const char* drop : {"Drop index MovCliente.IX_MovCliente_Registo",
                           "Alter Table MovCliente Drop Constraint  DF_MovCliente_DataSys",
                           "drop statistics MovCliente.ST_MovCliente_DataSys"}) {
    EXPECT_TRUE(Ok(bad_values.Exec(drop))) << drop;
  }
  EXPECT_EQ(bad_values.Exec(" alter table MovCliente ALTER COLUMN DataSys datetime null"), SQL_ERROR);
  auto diag = bad_values.StmtDiag();
  ASSERT_FALSE(diag.empty());
  EXPECT_EQ(diag[0].native, 241);
  EXPECT_NE(diag[0].text.find("Conversion failed when converting date and/or time from character string."),
            std::string::npos);

  EXPECT_EQ(bad_values.Exec("exec sp_nada"), SQL_ERROR);
  EXPECT_EQ(Natives(bad_values.StmtDiag()), (std::vector<int>{2812}));
  EXPECT_EQ(bad_values.Exec("select * from Nada"), SQL_ERROR);
  EXPECT_EQ(bad_values.StmtDiag().at(0).state, "42S02");

  // A procedure that only prints a message succeeds with information and no result set.
  Connection no_table;
  ASSERT_TRUE(SQL_SUCCEEDED(no_table.Open(server().ConnectionString("Parvimar03"))));
  EXPECT_EQ(no_table.Exec("sp_helpstats movcliente"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(Natives(no_table.StmtDiag()), (std::vector<int>{15574}));
}

TEST_F(OdbcWire, RollbackAndDisconnectUndoChangesMadeWithAutocommitOff) {
  {
    Connection db;
    ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar01"))));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(db.dbc(), SQL_ATTR_AUTOCOMMIT,
                                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    EXPECT_TRUE(Ok(db.Exec("Drop index MovCliente.IX_MovCliente_Registo")));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.dbc(), SQL_ROLLBACK)));
    EXPECT_NE(server().Control("STATE Parvimar01").find("IX_MovCliente_Registo"), std::string::npos);

    EXPECT_TRUE(Ok(db.Exec("Drop index MovCliente.IX_MovCliente_Registo")));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.dbc(), SQL_COMMIT)));
    EXPECT_EQ(server().Control("STATE Parvimar01").find("IX_MovCliente_Registo"), std::string::npos);

    EXPECT_TRUE(Ok(db.Exec("drop statistics MovCliente.ST_MovCliente_DataSys")));
    EXPECT_EQ(server().Control("STATE Parvimar01").find("ST_MovCliente_DataSys"), std::string::npos);
    db.Close();  // disconnect with the transaction open
  }
  // The server finishes the session after the client has gone; ask until it has.
  std::string state;
  for (int attempt = 0; attempt < 200; ++attempt) {
    state = server().Control("STATE Parvimar01");
    if (state.find("ST_MovCliente_DataSys") != std::string::npos && server().Control("SESSIONS") == "[]")
      break;
    usleep(10000);
  }
  EXPECT_NE(state.find("ST_MovCliente_DataSys"), std::string::npos);
  std::string log = server().Control("LOG");
  EXPECT_NE(log.find("TM BEGIN"), std::string::npos);
  EXPECT_NE(log.find("TM ROLLBACK +BEGIN"), std::string::npos);
  EXPECT_NE(log.find("TM COMMIT +BEGIN"), std::string::npos);
}

TEST_F(OdbcWire, HangingStatementIsCancelledByQueryTimeoutAndTheConnectionStaysUsable) {
  server().Control("FAULT HANG_ON waitfor");
  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("master"))));
  SQLSetStmtAttr(db.stmt(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
  EXPECT_EQ(db.Exec("select 'waitfor'"), SQL_ERROR);
  EXPECT_EQ(db.StmtDiag().at(0).state, "HYT00");
  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec("select db_name() as db")));
  EXPECT_EQ(db.Column("db"), (std::vector<std::string>{"master"}));
}

TEST_F(OdbcWire, DroppedConnectionIsACommunicationFailure) {
  server().Control("FAULT DROP_ON sp_helpstats");
  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar01"))));
  ASSERT_TRUE(SQL_SUCCEEDED(db.Exec("sp_helpindex movcliente")));
  EXPECT_EQ(db.Exec("sp_helpstats movcliente"), SQL_ERROR);
  EXPECT_EQ(db.StmtDiag().at(0).native, 20017);  // the driver's "Unexpected EOF from the server"
  EXPECT_EQ(db.Exec("select 1"), SQL_ERROR);
}

TEST_F(OdbcWire, ProcedureCallReturnsRowsOutputParameterAndStatus) {
  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar01"))));
  SQLINTEGER status = -1, access = -1;
  SQLLEN status_ind = 0, access_ind = 0, user_ind = SQL_NTS;
  char user[] = "ana";
  SQLBindParameter(db.stmt(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &status, 0, &status_ind);
  SQLBindParameter(db.stmt(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, user, 0, &user_ind);
  SQLBindParameter(db.stmt(), 3, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &access, 0, &access_ind);
  ASSERT_TRUE(
      SQL_SUCCEEDED(SQLExecDirect(db.stmt(), (SQLCHAR*)"{? = call GetAcessosUtilizador(?, ?)}", SQL_NTS)))
      << db.StmtDiag().at(0).text;
  EXPECT_EQ(db.Column("Modulo"), (std::vector<std::string>{"Vendas", "Compras"}));
  while (SQLMoreResults(db.stmt()) == SQL_SUCCESS) {
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(access, 3);
  EXPECT_NE(server().Control("LOG").find("GetAcessosUtilizador"), std::string::npos);
}

TEST_F(OdbcWire, BoundParametersTravelAsExecuteSql) {
  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar01"))));
  SQLINTEGER number = 2;
  SQLLEN ind = 0;
  SQLBindParameter(db.stmt(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0, &ind);
  ASSERT_TRUE(SQL_SUCCEEDED(
      SQLExecDirect(db.stmt(), (SQLCHAR*)"select Cliente from MovCliente where NumRegisto = ?", SQL_NTS)));
  EXPECT_EQ(db.Column("Cliente"), (std::vector<std::string>{"CLI002"}));
  std::string log = server().Control("LOG");
  EXPECT_NE(log.find("\"kind\":\"rpc\""), std::string::npos) << log;
  EXPECT_NE(log.find("\"text\":\"select Cliente from MovCliente where NumRegisto = @P1\""), std::string::npos)
      << log;
}

TEST_F(OdbcWire, PreparedStatementRunsAgainThroughItsHandle) {
  Connection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Open(server().ConnectionString("Parvimar01"))));
  SQLINTEGER number = 0;
  SQLLEN ind = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(
      SQLPrepare(db.stmt(), (SQLCHAR*)"select Cliente from MovCliente where NumRegisto = ?", SQL_NTS)));
  SQLBindParameter(db.stmt(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0, &ind);
  std::vector<std::string> seen;
  for (int n : {1, 3, 4}) {
    number = n;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(db.stmt()))) << db.StmtDiag().at(0).text;
    auto rows = db.Column("Cliente");
    seen.insert(seen.end(), rows.begin(), rows.end());
    SQLFreeStmt(db.stmt(), SQL_CLOSE);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"CLI001", "CLI003", "CLI004"}));
  std::string log = server().Control("LOG");
  EXPECT_NE(log.find("sp_execute"), std::string::npos) << log;  // later runs name the prepared handle
}

TEST_F(OdbcWire, KillEndsAnotherClientsConnectionAndUndoesItsTransaction) {
  Connection victim;
  ASSERT_TRUE(SQL_SUCCEEDED(victim.Open(server().ConnectionString("Parvimar01"))));
  ASSERT_TRUE(SQL_SUCCEEDED(victim.Exec("select @@spid as spid")));
  const std::string spid = victim.Column("spid").at(0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(victim.dbc(), SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
  EXPECT_TRUE(Ok(victim.Exec("Drop index MovCliente.IX_MovCliente_Registo")));

  Connection admin;
  ASSERT_TRUE(SQL_SUCCEEDED(admin.Open(server().ConnectionString("master"))));
  ASSERT_TRUE(SQL_SUCCEEDED(admin.Exec("select spid from sysprocesses where dbid = 5")));
  std::vector<std::string> in_parvimar01 = admin.Column("spid");
  EXPECT_NE(std::find(in_parvimar01.begin(), in_parvimar01.end(), spid), in_parvimar01.end());
  EXPECT_TRUE(Ok(admin.Exec("kill " + spid)));
  EXPECT_EQ(victim.Exec("select 1"), SQL_ERROR);
  std::string state;
  for (int attempt = 0; attempt < 200 && state.find("IX_MovCliente_Registo") == std::string::npos;
       ++attempt) {
    usleep(10000);  // the killed session rolls back as its thread ends
    state = server().Control("STATE Parvimar01");
  }
  EXPECT_NE(state.find("IX_MovCliente_Registo"), std::string::npos);
  EXPECT_EQ(admin.Exec("kill " + spid), SQL_ERROR);
  EXPECT_EQ(Natives(admin.StmtDiag()), (std::vector<int>{6106}));
}

TEST_F(OdbcWire, SeveralClientsAtOnceEachSeeTheirOwnDatabase) {
  const std::vector<std::string> databases = {"Parvimar01", "Parvimar02", "Parvimar03", "Parvimar06"};
  std::vector<std::vector<std::string>> seen(databases.size());
  std::vector<std::thread> clients;
  for (size_t k = 0; k < databases.size(); ++k) {
    clients.emplace_back([&, k] {
      Connection db;
      if (!SQL_SUCCEEDED(db.Open(server().ConnectionString(databases[k])))) return;
      for (int round = 0; round < 25; ++round) {
        if (!SQL_SUCCEEDED(db.Exec("select db_name() as db"))) return;
        auto names = db.Column("db");
        seen[k].insert(seen[k].end(), names.begin(), names.end());
      }
    });
  }
  for (auto& t : clients) t.join();
  for (size_t k = 0; k < databases.size(); ++k) {
    EXPECT_EQ(seen[k], std::vector<std::string>(25, databases[k])) << databases[k];
  }
}

// A statement that waits for another connection's row lock is cancelled by its query time-out, and the
// connection goes on: in plain TDS the ATTENTION is a bare packet on the socket, under full encryption it
// arrives inside a TLS record, and the server must see it either way while the statement waits.
TEST(OdbcWireLocks, QueryTimeoutCancelsALockWaitInPlainAndEncryptedSessions) {
  namespace fs = std::filesystem;
  const fs::path certificates = fs::temp_directory_path() / ("standin-wire-tls-" + std::to_string(getpid()));
  const std::string make = std::string(CERTIFICATES_SCRIPT) + " " + certificates.string();
  ASSERT_EQ(std::system(make.c_str()), 0) << "openssl could not make the test certificates";
  struct Case {
    const char* label;
    std::vector<std::string> arguments;
    const char* encryption;
  };
  const Case cases[] = {
      {"plain", {}, "Encryption=off"},
      {"encrypted",
       {"--tls-cert", (certificates / "server.pem").string(), "--tls-key",
        (certificates / "server.key").string(), "--require-encryption"},
       "Encryption=require"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    StandinProcess server(STANDIN_BINARY, STANDIN_DEMO, c.arguments);
    std::string text = server.ConnectionString("Parvimar01");
    text.replace(text.find("Encryption=off"), std::string("Encryption=off").size(), c.encryption);

    Connection holder, waiter;
    ASSERT_TRUE(SQL_SUCCEEDED(holder.Open(text)));
    ASSERT_TRUE(SQL_SUCCEEDED(waiter.Open(text)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(holder.dbc(), SQL_ATTR_AUTOCOMMIT,
                                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    ASSERT_TRUE(Ok(holder.Exec("update MovCliente set Valor = 1 where NumRegisto = 1")));

    SQLSetStmtAttr(waiter.stmt(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waiter.Exec("update MovCliente set Valor = 2 where NumRegisto = 1"), SQL_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(waiter.StmtDiag().at(0).state, "HYT00");
    // Acknowledged by the server: the same connection answers at once, while the lock is still held.
    ASSERT_TRUE(SQL_SUCCEEDED(waiter.Exec("select db_name() as db")));
    EXPECT_EQ(waiter.Column("db"), (std::vector<std::string>{"Parvimar01"}));

    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, holder.dbc(), SQL_ROLLBACK)));
    SQLSetStmtAttr(waiter.stmt(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(0), 0);
    EXPECT_TRUE(Ok(waiter.Exec("update MovCliente set Valor = 2 where NumRegisto = 1")));
    const std::string log = server.Control("LOG");
    EXPECT_EQ(log.find("\"full\"") != std::string::npos, std::string(c.encryption) == "Encryption=require");
  }
  fs::remove_all(certificates);
}

}  // namespace
