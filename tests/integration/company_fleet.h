// Company databases for the end-to-end tests, described once and laid out either
// on the stand-in (as a scenario) or on a real SQL Server (as T-SQL), and read
// back afterwards the same way from both.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/session.h"

namespace e2e {

// Where an end-to-end test body runs: the stand-in, or a real server named by
// TAVINOR_TEST_SERVER.
enum class Target { kStandin, kRealServer };
void PrintTo(Target target, std::ostream* out);
// The two targets, as test parameters, and their names in test names.
inline const auto kTargets = ::testing::Values(Target::kStandin, Target::kRealServer);
std::string TargetName(const ::testing::TestParamInfo<Target>& info);
// Why a test body skips on `target` when its backend cannot be had.
const char* NoBackendReason(Target target);

struct CompanyDatabase {
  std::string name;
  // Declared type of MovCliente.DataSys; empty: the database has no MovCliente.
  std::string datasys_type = "smalldatetime";
  // Written as 'yyyymmdd hh:mm:ss', which every language and DATEFORMAT reads alike.
  std::vector<std::string> datasys_values = {"20240105 09:30:00", "20240211 08:00:00"};
  // Index IX_MovCliente_Registo (NumRegisto, DataSys), index IX_MovCliente_Cliente
  // (Cliente), user statistic ST_MovCliente_DataSys and the default on DataSys.
  bool dependents = true;
  // False: a default on Cliente comes before the DataSys default in the
  // constraint list, which orders by name.
  bool datasys_default_first = true;
  // The index on (NumRegisto, DataSys); SQL Server's own tools give new indexes
  // names that are not regular identifiers.
  std::string registo_index = "IX_MovCliente_Registo";
  // Object names compare with case (a case-sensitive collation).
  bool case_sensitive = false;
  // Alias types built on datetime, made in the database before MovCliente.
  std::vector<std::string> datetime_aliases;
  // Dependents the classic lists do not show: index IX_MovCliente_ClienteData
  // (Cliente) INCLUDE (DataSys), index IX_MovCliente_Recentes (NumRegisto DESC)
  // filtered on DataSys, check CK_MovCliente_DataSys on DataSys and the
  // table-level check CK_MovCliente_Registo naming NumRegisto and DataSys.
  bool hidden_dependents = false;
  // Unique index UX_MovCliente_DataSys (DataSys).
  bool unique_datasys = false;
};

// A login made for a test, with the sysadmin role.
struct TestLogin {
  std::string name;
  std::string password;
  std::string default_language;  // empty: the server's default (us_english)
};

// What a test asserts on afterwards.
struct TableState {
  bool has_table = false;
  std::string datasys_type;
  std::vector<std::string> indexes;         // every index of MovCliente, sorted
  std::vector<std::string> statistics;      // user-created statistics that are not an index's, sorted
  std::vector<std::string> constraints;     // sorted
  std::vector<std::string> datasys_values;  // "yyyy-mm-dd hh:mm:ss", in NumRegisto order; NULL as ""
  // Every index, user-created statistic and constraint of MovCliente with its
  // definition (keys, order, included columns, filter, uniqueness, expression),
  // one line each, sorted; the same backend writes them the same way.
  std::vector<std::string> definitions;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Lays out exactly these company databases (and nothing else named Parvimar...),
  // the company OutraEmpresa, and the logins added before.
  virtual void Seed(const std::vector<CompanyDatabase>& databases) = 0;
  // Adds a login; call before Seed.
  virtual void AddLogin(const TestLogin& login) = 0;
  virtual std::string Server() const = 0;
  virtual std::string Login() const = 0;
  virtual std::string Password() const = 0;
  virtual TableState State(const std::string& database) = 0;
  // Makes the database impossible to open.
  virtual void TakeOffline(const std::string& database) = 0;
};

// The real server named by TAVINOR_TEST_SERVER, with TAVINOR_TEST_LOGIN (default
// sa) and TAVINOR_TEST_PASSWORD; nothing when no server is named.
struct RealServerSettings {
  std::string server, login, password;
};
std::optional<RealServerSettings> RealServerFromEnvironment();
// A session on `database` of that server, as the product opens one.
platform::Connection OpenRealServer(const RealServerSettings& settings, const std::string& database);
// `names` in order.
std::vector<std::string> Sorted(std::vector<std::string> names);
// The "name" column of every row `query` returns, sorted.
std::vector<std::string> SortedNames(platform::Connection& connection, const std::string& query);
// The stand-in's sa password in the scenarios the tests write.
inline constexpr const char* kStandinPassword = "Tavinor#2024";
// Whether the stand-in's executable was built.
bool StandinBuilt();

// The stand-in, started by the test; nullptr when its executable is missing.
std::unique_ptr<Backend> MakeStandinBackend();
// A real server named by TAVINOR_TEST_SERVER, TAVINOR_TEST_LOGIN and
// TAVINOR_TEST_PASSWORD; nullptr when they are not set.
std::unique_ptr<Backend> MakeRealServerBackend();

}  // namespace e2e
