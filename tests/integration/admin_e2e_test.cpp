// Exclusive access, ownership, process killing and database removal end to end:
// the library over unixODBC and FreeTDS against the stand-in's demo server, each
// test reading the server's state back through the control channel.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/driver.h"
#include "platform/main_mod.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "standin_process.h"
#include "util/ediv.h"

namespace {

using nlohmann::json;

constexpr char kPassword[] = "Tavinor#2024";

class AdminEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unsetenv("TDSVER");
    unsetenv("TDSPORT");
    unsetenv("TDSHOST");
    const auto demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
    standin_ = new testsupport::StandinProcess(STANDIN_EXECUTABLE, demo.string());
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  void SetUp() override {
    platform::SetDriver(nullptr);
    standin_->Control("RESET");
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    gServer = standin_->Server();
    gUID = "sa";
    gPwd = kPassword;
    gIntegratedSecurity = false;
  }
  void TearDown() override {
    connections_.clear();
    platform::SetUi(nullptr);
    gServer.clear();
    gUID.clear();
    gPwd.clear();
  }

  platform::Connection& Open(const std::string& database, const std::string& login = "sa",
                             const std::string& password = kPassword) {
    connections_.emplace_back();
    std::int32_t code = 0;
    std::string text;
    EXPECT_TRUE(SharedCSql().CreateDBConnection(connections_.back(), gServer, database, login, password, 10,
                                                code, text, 1))
        << code << " " << text;
    return connections_.back();
  }
  // The live sessions' spids in `database`, sorted.
  static std::vector<int> Spids(const std::string& database) {
    std::vector<int> spids;
    for (const json& s : standin_->ControlJson("SESSIONS")) {
      if (s.at("database") == database) spids.push_back(s.at("spid").get<int>());
    }
    std::sort(spids.begin(), spids.end());
    return spids;
  }
  // Waits, up to five seconds, until `database` holds exactly `expected` live sessions.
  static bool AwaitSpids(const std::string& database, const std::vector<int>& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Spids(database) != expected) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }
  static std::vector<std::string> Databases() { return standin_->ControlJson("DATABASES"); }
  static bool HasDatabase(const std::string& name) {
    const auto all = Databases();
    return std::find(all.begin(), all.end(), name) != all.end();
  }
  static std::vector<std::string> CompanyCodes() {
    std::vector<std::string> codes;
    const json state = standin_->ControlJson("STATE quindorconfig ROWS");
    for (const json& row : state.at("tables").at(0).at("rows")) {
      codes.push_back(row.at(0));
    }
    return codes;
  }
  // The KILL statements the server received since the log was last cleared.
  static std::vector<std::string> Kills() {
    std::vector<std::string> kills;
    for (const json& entry : standin_->ControlJson("LOG")) {
      const std::string text = entry.at("text");
      if (text.rfind("Kill ", 0) == 0) kills.push_back(text);
    }
    return kills;
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_->boxes) texts.push_back(box.text);
    return texts;
  }

  static testsupport::StandinProcess* standin_;
  std::shared_ptr<platform::RecordingUi> ui_;
  std::vector<platform::Connection> connections_;
};

testsupport::StandinProcess* AdminEndToEnd::standin_ = nullptr;

TEST_F(AdminEndToEnd, TheMachineNameIsTheHostNameTheServerSees) {
  Open("Parvimar03");
  platform::Variant name;
  ASSERT_TRUE(SharedEDiv().GetMachineName(name));
  const json sessions = standin_->ControlJson("SESSIONS");
  ASSERT_EQ(sessions.size(), 1U);
  EXPECT_EQ(sessions[0].at("hostname"), name.ToString());
}

TEST_F(AdminEndToEnd, KillsExactlyThisHostsSessionsInTheDatabase) {
  // Parvimar01 also holds spid 53 of the host POSTO-LOJA1.
  Open("Parvimar01");
  Open("Parvimar01");
  Open("Parvimar02");
  const std::vector<int> doomed = Spids("Parvimar01");
  const std::vector<int> spared = Spids("Parvimar02");
  ASSERT_EQ(doomed.size(), 2U);
  standin_->Control("LOG CLEAR");

  SharedCSql().KillAllProcessesInCurrentMachine("Parvimar01");

  EXPECT_TRUE(AwaitSpids("Parvimar01", {}));
  EXPECT_EQ(Spids("Parvimar02"), spared);
  const std::vector<std::string> kills = Kills();
  EXPECT_EQ(kills, (std::vector<std::string>{"Kill " + std::to_string(doomed[0]),
                                             "Kill " + std::to_string(doomed[1])}));
  platform::Recordset other = Open("master").Execute("select spid from sysprocesses where spid = 53");
  EXPECT_FALSE(other.Eof()) << "the other host's session lives on";
  EXPECT_TRUE(ui_->boxes.empty());

  // A database name that would widen the query kills nothing.
  standin_->Control("LOG CLEAR");
  SharedCSql().KillAllProcessesInCurrentMachine("x' or '1'='1");
  EXPECT_TRUE(Kills().empty());
  EXPECT_EQ(Spids("Parvimar02"), spared);
}

TEST_F(AdminEndToEnd, IsLoggedOnCountsTheLoginsProcesses) {
  // The login operador already has spid 53 on another host.
  EXPECT_FALSE(SharedCSql().isLoggedOn("OPERADOR"));
  Open("Parvimar01", "operador", "Operador#1");
  EXPECT_FALSE(SharedCSql().isLoggedOn("Operador")) << "two processes";
  Open("Parvimar01", "operador", "Operador#1");
  EXPECT_TRUE(SharedCSql().isLoggedOn("operador")) << "three processes";
  std::string info = "antes";
  EXPECT_FALSE(SharedCSql().isLoggedOn("antigo", info));
  EXPECT_EQ(info, "");
}

TEST_F(AdminEndToEnd, IsLoggedOnLeavesOutProcessesWithABlankNetworkAddress) {
  // The demo server with two more processes of operador that have no network
  // address, as the server's own background sessions have none.
  nlohmann::json scenario =
      nlohmann::json::parse(std::ifstream(std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json"));
  for (int spid : {60, 61}) {
    scenario["processes"].push_back(
        {{"spid", spid}, {"login", "operador"}, {"database", "master"}, {"net_address", "            "}});
  }
  const auto path =
      std::filesystem::temp_directory_path() / ("tavinor-blank-" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << scenario.dump();
  testsupport::StandinProcess server(STANDIN_EXECUTABLE, path.string());
  std::filesystem::remove(path);
  gServer = server.Server();

  // spid 53 and this connection have addresses; 60 and 61 are not counted.
  platform::Connection conn;
  std::int32_t code = 0;
  std::string text;
  ASSERT_TRUE(SharedCSql().CreateDBConnection(conn, gServer, "Parvimar01", "operador", "Operador#1", 10, code,
                                              text, 1))
      << text;
  EXPECT_FALSE(SharedCSql().isLoggedOn("operador"));
  platform::Recordset all =
      conn.Execute("select * from sysprocesses where net_address<>'x' and upper(loginame)=upper('operador')");
  int rows = 0;
  for (; !all.Eof(); all.MoveNext()) ++rows;
  EXPECT_EQ(rows, 4) << "the blank ones are there";
}

TEST_F(AdminEndToEnd, SingleUserModeIsRefusedWhileAnotherSessionUsesTheDatabase) {
  Open("Parvimar03");
  const auto others = Spids("Parvimar03");
  std::int32_t code = 0;
  std::string text;
  EXPECT_FALSE(SharedCSql().TrySingleUserMode(Open("master"), "Parvimar03", code, text));
  EXPECT_EQ(code, 5070) << text;
  EXPECT_FALSE(standin_->ControlJson("STATE Parvimar03").at("single_user").get<bool>());
  EXPECT_EQ(Spids("Parvimar03"), others) << "the other session is not ended";

  connections_.clear();
  ASSERT_TRUE(AwaitSpids("Parvimar03", {})) << "the stand-in ends closed sessions";
  EXPECT_TRUE(SharedCSql().TrySingleUserMode(Open("master"), "Parvimar03", code, text)) << text;
  EXPECT_FALSE(standin_->ControlJson("STATE Parvimar03").at("single_user").get<bool>());
}

TEST_F(AdminEndToEnd, OwnerChangeToALoginWithAUserThere) {
  platform::Connection& conn = Open("Parvimar01");
  // Blanks around the name are no part of it, in the comparisons nor in the change.
  ASSERT_TRUE(SharedCSql().ChangeDatabaseOwner(conn, "Parvimar01", "sa", " operador ")) << Boxes().at(0);
  platform::Recordset users = conn.Execute("sp_helpuser");
  std::vector<std::pair<std::string, std::string>> rows;
  for (; !users.Eof(); users.MoveNext()) {
    rows.emplace_back(users.Value("UserName").ToString(), users.Value("LoginName").ToString());
  }
  EXPECT_EQ(rows, (std::vector<std::pair<std::string, std::string>>{{"dbo", "operador"}}));
}

TEST_F(AdminEndToEnd, DeleteDatabaseDropsItAndItsRowOnly) {
  EXPECT_TRUE(SharedCSql().DeleteDatabase("Parvimar03", "03"));
  EXPECT_FALSE(HasDatabase("Parvimar03"));
  EXPECT_EQ(CompanyCodes(), (std::vector<std::string>{"01", "02", "04"}));
  EXPECT_TRUE(Boxes().empty());

  // In use (spid 53 is in it): refused, and the row stays.
  EXPECT_FALSE(SharedCSql().DeleteDatabase("Parvimar01", "01"));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"3702\rCannot drop database \"Parvimar01\" because it is "
                                              "currently in use."});
  EXPECT_TRUE(HasDatabase("Parvimar01"));
  EXPECT_EQ(CompanyCodes(), (std::vector<std::string>{"01", "02", "04"}));

  // Two names in one argument are one (missing) database, never a list.
  EXPECT_FALSE(SharedCSql().DeleteDatabase("Parvimar01, Parvimar02"));
  EXPECT_EQ(ui_->boxes.size(), 2U);
  EXPECT_TRUE(HasDatabase("Parvimar01"));
  EXPECT_TRUE(HasDatabase("Parvimar02"));

  bool unknown = true;
  EXPECT_TRUE(SharedCSql().CheckDatabase("parvimar04", unknown));
  EXPECT_FALSE(SharedCSql().CheckDatabase("Parvimar03", unknown));
  EXPECT_FALSE(unknown);
}

}  // namespace
