// ALTER DATABASE ... SET SINGLE_USER / MULTI_USER / OFFLINE / ONLINE and KILL, against live sessions and the
// scenario's processes.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Harness;
using test_support::MovCliente;
using test_support::OneDatabase;

json Server() {
  json s = OneDatabase(MovCliente("datetime", json::array()));
  s["logins"].push_back({{"name", "operador"}, {"password", "x"}});
  s["databases"].push_back({{"name", "Outra"}});
  s["processes"] = {{{"spid", 60}, {"login", "operador"}, {"database", "Outra"}, {"hostname", "PC1"}}};
  return s;
}

// Adds another client's session in `database`.
void AddSession(Harness& h, int connection, int spid, const std::string& database) {
  h.state().sessions[connection] =
      LiveSession{connection, spid, "operador", database, "PC2", "app", "", "sleeping"};
}

TEST(AlterDatabase, SingleUserNeedsTheDatabaseToItselfUnlessOthersAreRolledBack) {
  Harness h(Server());
  AddSession(h, 2, 70, "Parvimar01");
  struct Case {
    const char* text;
    std::vector<int32_t> errors;
  } cases[] = {
      {"alter database Parvimar01 set single_user", {5070, 5069}},
      {"alter database Parvimar01 set single_user with no_wait", {5070, 5069}},
      {"alter database Outra set offline", {5070, 5069}},  // a scenario process is in it
      {"alter database Nada set single_user", {5011, 5069}},
      {"alter database Parvimar01 set sleepy", {102}},
  };
  for (const auto& c : cases) EXPECT_EQ(h.Run(c.text).ErrorNumbers(), c.errors) << c.text;
  EXPECT_FALSE(h.state().catalog.FindDatabase("Parvimar01")->single_user);

  Reply r = h.Run("alter database Parvimar01 set single_user with rollback immediate");
  EXPECT_TRUE(r.ErrorNumbers().empty());
  EXPECT_TRUE(h.state().catalog.FindDatabase("Parvimar01")->single_user);
  EXPECT_EQ(h.state().sessions.count(2), 0u);  // the other session was ended
  EXPECT_TRUE(h.Run("alter database Parvimar01 set multi_user").ErrorNumbers().empty());
  EXPECT_FALSE(h.state().catalog.FindDatabase("Parvimar01")->single_user);

  EXPECT_TRUE(h.Run("alter database Outra set offline with rollback after 5 seconds").ErrorNumbers().empty());
  EXPECT_EQ(h.state().catalog.FindDatabase("Outra")->state, DbState::kOffline);
  EXPECT_TRUE(h.state().catalog.processes.empty());
  EXPECT_EQ(h.Run("use Outra").ErrorNumbers(), (std::vector<int32_t>{942}));

  h.Run("begin tran");
  EXPECT_EQ(h.Run("alter database Outra set online").ErrorNumbers(), (std::vector<int32_t>{226}));
}

TEST(Kill, EndsOtherSessionsAndScenarioProcessesWithTheServersRefusals) {
  Harness h(Server());
  AddSession(h, 2, 70, "Parvimar01");
  struct Case {
    const char* text;
    std::vector<int32_t> errors;
  } cases[] = {
      {"kill 51", {6104}},  // the harness session itself
      {"kill 12", {6107}}, {"kill 99", {6106}}, {"kill 0", {6101}},
      {"kill 70", {}},     {"kill 60", {}},     {"kill 60", {6106}},
  };
  for (const auto& c : cases) EXPECT_EQ(h.Run(c.text).ErrorNumbers(), c.errors) << c.text;
  EXPECT_TRUE(h.state().sessions.count(2) == 0);
  h.Run("begin tran");
  EXPECT_EQ(h.Run("kill 99").ErrorNumbers(), (std::vector<int32_t>{6115}));
  h.Run("rollback");
  h.session().login = "operador";
  EXPECT_EQ(h.Run("kill 99").ErrorNumbers(), (std::vector<int32_t>{6102}));
}

}  // namespace
}  // namespace standin
