// tavinor-convert as a user runs it: exit codes and what it prints.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "company_fleet.h"
#include "convert_process.h"
#include "platform/text.h"
#include "standin_process.h"

namespace {

using e2e::RunConvert;

// A loopback port with nothing listening on it.
int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

TEST(ConvertCommandLine, DemoFleetPrintsProgressAndMessagesAndExitsOne) {
  const std::filesystem::path demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
  testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo.string());

  const auto run =
      RunConvert({"--server", standin.Server(), "--login", "sa", "--password-stdin"}, "Tavinor#2024\n");

  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out,
            "Parvimar01\nParvimar02\nParvimar03\nParvimar04\nParvimar05\nParvimar06\n"
            "Processo Terminado!\n Foram detectadas falhas nas seguintes bases de dados: "
            "Parvimar01;Parvimar02;Parvimar04;Parvimar05;Parvimar06;\n");
  EXPECT_EQ(run.err,
            "Não foi possível alterar as seguintes bases de dados: Parvimar04;Parvimar05;Parvimar06;\n");
}

TEST(ConvertCommandLine, UnreachableServerSaysWhyAndWhereAndExitsTwo) {
  // "<driver's number>\n<driver's text> (<what was tried>)", without the driver's
  // bracketed prefixes.
  const int port = UnusedPort();
  const struct {
    std::string server, number, text;
  } cases[] = {
      {"127.0.0.1," + std::to_string(port), "20009", "(server 127.0.0.1, port " + std::to_string(port) + ")"},
      {"nosuchhost.invalid", "20013", "Unknown host machine name. (server nosuchhost.invalid, port 1433)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    const auto run = RunConvert({"--server", c.server, "--login", "sa"}, "");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.out, "");
    const auto newline = run.err.find('\n');
    ASSERT_NE(newline, std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(0, newline), c.number) << run.err;
    EXPECT_NE(run.err.find(c.text), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("[FreeTDS]"), std::string::npos) << run.err;
  }
}

using e2e::ExpectValidReport;

TEST(ConvertCommandLine, ReportSaysWhatHappenedToEachDatabase) {
  const std::filesystem::path demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
  testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo.string());
  standin.Control("FAULT OFFLINE Parvimar05");
  const auto report_path =
      std::filesystem::temp_directory_path() / ("tavinor-e2e-report-" + std::to_string(getpid()) + ".json");

  const auto run = RunConvert(
      {"--server", standin.Server(), "--login", "sa", "--password-stdin", "--report", report_path.string()},
      "Tavinor#2024\n");

  EXPECT_EQ(run.exit_code, 2);
  std::ifstream in(report_path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(report_path);
  ExpectValidReport(text);
  EXPECT_EQ(text.find("Tavinor#2024"), std::string::npos) << "the password never reaches the report";
  const auto report = nlohmann::json::parse(text);
  EXPECT_EQ(report["exit_status"], 2);
  std::vector<std::pair<std::string, std::string>> outcomes;
  for (const auto& database : report["databases"])
    outcomes.emplace_back(database["name"], database["outcome"]);
  EXPECT_EQ(outcomes, (std::vector<std::pair<std::string, std::string>>{{"Parvimar01", "converted"},
                                                                        {"Parvimar02", "converted"},
                                                                        {"Parvimar03", "already_converted"},
                                                                        {"Parvimar04", "failed"},
                                                                        {"Parvimar05", "connection_failed"},
                                                                        {"Parvimar06", "not_reached"}}));
  const auto& first = report["databases"][0];
  EXPECT_EQ(first["type_before"], "smalldatetime");
  EXPECT_EQ(first["type_after"], "datetime");
  // The report agrees with the server's state.
  for (const auto& [database, type] :
       {std::pair{"Parvimar01", "datetime"}, std::pair{"Parvimar04", "nvarchar(20)"}}) {
    const auto state = standin.ControlJson(std::string("STATE ") + database);
    for (const auto& table : state["tables"]) {
      if (table["name"] != "MovCliente") continue;
      for (const auto& column : table["columns"]) {
        if (column["name"] == "DataSys") {
          EXPECT_EQ(column["type"], type) << database;
        }
      }
    }
  }
  bool index_dropped = false;
  for (const auto& object : first["dropped"]) {
    if (object["name"] == "IX_MovCliente_Registo") {
      index_dropped = true;
      EXPECT_EQ(object["kind"], "index");
      EXPECT_NE(object["definition"].get<std::string>().find("NumRegisto, DataSys"), std::string::npos)
          << object;
    }
  }
  EXPECT_TRUE(index_dropped) << first["dropped"];
  // The failed change names the server's error, and nothing it dropped counts.
  const auto& failed = report["databases"][3];
  EXPECT_TRUE(failed["dropped"].empty());
  const auto& alter = failed["statements"][failed["statements"].size() - 2];
  EXPECT_EQ(alter["error"]["number"], 241) << alter;
  EXPECT_EQ(report["totals"]["not_reached"], 1);
}

TEST(ConvertCommandLine, ReportOnStandardOutputStaysPureJson) {
  const std::filesystem::path demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
  testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo.string());

  const auto run =
      RunConvert({"--server", standin.Server(), "--login", "sa", "--password-stdin", "--report", "-"},
                 "wrong password\n");

  EXPECT_EQ(run.exit_code, 2);
  ExpectValidReport(run.out);
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_FALSE(report["database_list_read"]);
  EXPECT_TRUE(report["databases"].empty());
  EXPECT_EQ(run.err.rfind("18456\n", 0), 0u) << run.err;
  EXPECT_EQ(run.out.find("wrong password"), std::string::npos);
}

// Runs the command line against `standin` with a report, and returns the report.
nlohmann::json RunWithReport(testsupport::StandinProcess& standin, std::vector<std::string> extra,
                             int expected_exit) {
  const auto path =
      std::filesystem::temp_directory_path() / ("tavinor-e2e-plan-" + std::to_string(getpid()) + ".json");
  std::vector<std::string> args = {"--server",         standin.Server(), "--login",    "sa",
                                   "--password-stdin", "--report",       path.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  const auto run = RunConvert(args, "Tavinor#2024\n");
  EXPECT_EQ(run.exit_code, expected_exit) << run.err;
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(path);
  ExpectValidReport(text);
  return nlohmann::json::parse(text);
}

TEST(ConvertCommandLine, DryRunSendsOnlyReadsAndPredictsTheRealRun) {
  const std::filesystem::path demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
  testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo.string());

  const auto plan = RunWithReport(standin, {"--dry-run"}, 1);
  for (const auto& entry : standin.ControlJson("LOG")) {
    const std::string text = platform::Lower(entry["text"].get<std::string>());
    EXPECT_TRUE(text.rfind("select", 0) == 0 || text.rfind("sp_help", 0) == 0) << text;
  }
  const auto run = RunWithReport(standin, {}, 1);

  ASSERT_EQ(plan["databases"].size(), run["databases"].size());
  const std::map<std::string, std::string> expected = {
      {"will_convert", "converted"}, {"will_fail", "failed"}, {"already_converted", "already_converted"}};
  for (std::size_t i = 0; i < plan["databases"].size(); ++i) {
    const auto& predicted = plan["databases"][i];
    EXPECT_EQ(expected.at(predicted["outcome"]), run["databases"][i]["outcome"]) << predicted;
  }
}

// Outcomes by database name.
std::map<std::string, std::string> Outcomes(const nlohmann::json& report) {
  std::map<std::string, std::string> outcomes;
  for (const auto& database : report["databases"]) outcomes[database["name"]] = database["outcome"];
  return outcomes;
}

TEST(ConvertCommandLine, KeepDependentsConvertsWhatTheirOrderBlockedAndReportsWhatItCreatedAgain) {
  const std::filesystem::path demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
  testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo.string());

  const auto plan = RunWithReport(standin, {"--dry-run", "--keep-dependents"}, 1);
  for (const auto& entry : standin.ControlJson("LOG")) {
    const std::string text = platform::Lower(entry["text"].get<std::string>());
    EXPECT_TRUE(text.rfind("select", 0) == 0) << text;
  }
  const auto before = standin.ControlJson("STATE Parvimar06");
  const auto run = RunWithReport(standin, {"--keep-dependents"}, 1);

  EXPECT_TRUE(run["keep_dependents"]);
  const std::map<std::string, std::string> predicted = {
      {"Parvimar01", "will_convert"}, {"Parvimar02", "will_convert"}, {"Parvimar03", "already_converted"},
      {"Parvimar04", "will_fail"},    {"Parvimar05", "will_fail"},    {"Parvimar06", "will_convert"}};
  EXPECT_EQ(Outcomes(plan), predicted);
  EXPECT_EQ(Outcomes(run), (std::map<std::string, std::string>{{"Parvimar01", "converted"},
                                                               {"Parvimar02", "converted"},
                                                               {"Parvimar03", "already_converted"},
                                                               {"Parvimar04", "failed"},
                                                               {"Parvimar05", "failed"},
                                                               {"Parvimar06", "converted"}}));
  // The report matches the server: what it says it created again is there, and
  // nothing but DataSys's type changed.
  const auto& sixth = run["databases"][5];
  std::vector<std::string> recreated;
  for (const auto& object : sixth["recreated"]) {
    EXPECT_TRUE(object["ok"]) << object;
    recreated.push_back(object["name"]);
  }
  EXPECT_EQ(
      e2e::Sorted(recreated),
      (std::vector<std::string>{"DF_MovCliente_DataSys", "IX_MovCliente_Registo", "ST_MovCliente_DataSys"}));
  for (const auto& object : sixth["dropped"]) EXPECT_NE(object["definition"], "") << object;
  auto after = standin.ControlJson("STATE Parvimar06");
  const auto normalise = [](nlohmann::json state) {
    for (auto& table : state["tables"]) {
      if (table["name"] != "MovCliente") continue;
      for (auto& column : table["columns"]) {
        if (column["name"] == "DataSys") column["type"] = "";
      }
      for (const char* list : {"indexes", "constraints", "statistics"}) {
        std::vector<nlohmann::json> items;
        for (const auto& item : table[list]) {
          if (!item.value("auto_created", false)) items.push_back(item);
        }
        std::sort(items.begin(), items.end(),
                  [](const auto& a, const auto& b) { return a["name"] < b["name"]; });
        table[list] = items;
      }
    }
    return state;
  };
  EXPECT_EQ(normalise(after), normalise(before));
}

TEST(ConvertCommandLine, KeepDependentsReportNamesTheObjectThatCouldNotBeCreatedAgain) {
  auto backend = e2e::MakeStandinBackend();
  ASSERT_NE(backend, nullptr);
  e2e::CompanyDatabase company;
  company.name = "Parvimar01";
  company.datasys_type = "nvarchar(20)";
  company.datasys_values = {"2024-03-02", "20240302"};  // one day, written two ways
  company.unique_datasys = true;
  backend->Seed({company});

  const auto run = RunConvert({"--server", backend->Server(), "--login", "sa", "--password-stdin", "--report",
                               "-", "--keep-dependents"},
                              std::string(e2e::kStandinPassword) + "\n");

  EXPECT_EQ(run.exit_code, 1);
  ExpectValidReport(run.out);
  for (const auto* output : {&run.out, &run.err}) {
    EXPECT_EQ(output->find(e2e::kStandinPassword), std::string::npos) << *output;
  }
  const auto report = nlohmann::json::parse(run.out);
  const auto& database = report["databases"][0];
  EXPECT_EQ(database["outcome"], "failed");
  EXPECT_EQ(database["type_after"], "nvarchar");
  ASSERT_FALSE(database["recreated"].empty());
  const auto& refused = database["recreated"].back();
  EXPECT_EQ(refused["name"], "UX_MovCliente_DataSys");
  EXPECT_EQ(refused["kind"], "index");
  EXPECT_FALSE(refused["ok"]);
  EXPECT_EQ(refused["error"]["number"], 1505) << refused;
  EXPECT_EQ(database["statements"].back()["text"], "ROLLBACK TRANSACTION");
  EXPECT_EQ(backend->State("Parvimar01").indexes,
            (std::vector<std::string>{"IX_MovCliente_Cliente", "IX_MovCliente_Registo", "PK_MovCliente",
                                      "UX_MovCliente_DataSys"}));
}

TEST(ConvertCommandLine, BadUsageExitsSixtyFourAndHelpExitsZero) {
  auto run = RunConvert({"--password", "segredo"}, "");
  EXPECT_EQ(run.exit_code, 64);
  EXPECT_NE(run.err.find("never taken on the command line"), std::string::npos) << run.err;

  run = RunConvert({"--help"}, "");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out.rfind("Usage: tavinor-convert", 0), 0u) << run.out;
}

// Runs the command line on a terminal of its own, the password in the
// environment, and returns all it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& args) {
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    setenv("TAVINOR_PASSWORD", "Tavinor#2024", 1);
    std::vector<char*> argv{const_cast<char*>(CONVERT_EXECUTABLE)};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(CONVERT_EXECUTABLE, argv.data());
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) {
    shown.append(buffer, static_cast<std::size_t>(got));
  }
  close(terminal);
  waitpid(pid, nullptr, 0);
  return shown;
}

TEST(ConvertCommandLine, ProgressLineOnATerminalIsErasedBeforeWhatFollowsIt) {
  const std::filesystem::path demo = std::filesystem::path(SOURCE_DIR) / "standin/scenarios/demo.json";
  testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo.string());
  const std::vector<std::string> args = {"--server", standin.Server(), "--login", "sa"};
  // Each name, plan and message starts a line: after a line break, or after the
  // progress line was erased.
  const auto expect_line_starts = [](const std::string& shown, const std::vector<std::string>& starts) {
    SCOPED_TRACE(shown);
    EXPECT_NE(shown.find("[1/6] Parvimar01"), std::string::npos) << "a progress line is shown";
    for (const auto& start : starts) {
      const auto at = shown.find(start);
      ASSERT_NE(at, std::string::npos) << start;
      const std::string before = shown.substr(0, at);
      const bool line_start = (before.size() >= 2 && before.substr(before.size() - 2) == "\r\n") ||
                              (before.size() >= 4 && before.substr(before.size() - 4) == "\r\x1b[K");
      EXPECT_TRUE(line_start) << "'" << start << "' at " << at;
    }
  };

  expect_line_starts(RunOnTerminal(args), {"Parvimar02\r\n", "Processo Terminado!"});
  standin.Control("RESET");
  standin.Control("FAULT OFFLINE Parvimar05");
  std::vector<std::string> dry_run = args;
  dry_run.push_back("--dry-run");
  expect_line_starts(RunOnTerminal(dry_run), {"  type: ", "4060\r\n"});
}

TEST(ConvertCommandLine, SignalAtThePasswordPromptEndsTheProgramWithEchoBackOn) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      unsetenv("TAVINOR_PASSWORD");
      execl(CONVERT_EXECUTABLE, CONVERT_EXECUTABLE, "--server", "127.0.0.1,1", "--login", "sa", nullptr);
      _exit(127);
    }
    std::string shown;
    char buffer[256];
    while (shown.find("Password: ") == std::string::npos) {
      const ssize_t got = read(terminal, buffer, sizeof buffer);
      ASSERT_GT(got, 0) << shown;
      shown.append(buffer, static_cast<std::size_t>(got));
    }
    termios modes{};
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    EXPECT_EQ(modes.c_lflag & ECHO, 0u) << "the password is typed without echo";

    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_EQ(tcgetattr(terminal, &modes), 0);
    close(terminal);
    EXPECT_NE(modes.c_lflag & ECHO, 0u) << "echo is back on the operator's terminal";
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal);
  }
}

}  // namespace
