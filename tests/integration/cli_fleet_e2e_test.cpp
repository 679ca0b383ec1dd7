// tavinor-convert over many databases at once, over several servers, and
// stopped by a signal: what it prints and leaves behind is what the one-at-a-time
// run prints and leaves, and no database is ever left half changed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "convert_process.h"
#include "standin_process.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr const char* kPassword = "Tavinor#2024\n";
constexpr const char* kFailedPrefix = "Não foi possível alterar as seguintes bases de dados: ";

std::string TempPath(const std::string& stem) {
  return (fs::temp_directory_path() / ("tavinor-fleet-" + stem + "-" + std::to_string(getpid()))).string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The demo server's six databases (a value that does not convert, a missing
// table, the DataSys default in the second row, one already converted) and a
// generated fleet of `fleet` more, every fifth one already converted.
std::string WriteScenario(const std::string& stem, int fleet) {
  json scenario = json::parse(ReadFile(std::string(SOURCE_DIR) + "/standin/scenarios/demo.json"));
  scenario["fleet"] = {{"count", fleet}, {"rows", 5}, {"already_converted_every", 5}};
  const std::string path = TempPath(stem) + ".json";
  std::ofstream(path) << scenario.dump();
  return path;
}

// A stand-in on its own scenario file, removed with it.
struct Server {
  explicit Server(const std::string& stem, int fleet)
      : scenario(WriteScenario(stem, fleet)), standin(STANDIN_EXECUTABLE, scenario) {}
  ~Server() { fs::remove(scenario); }
  std::string scenario;
  testsupport::StandinProcess standin;
};

std::vector<std::string> Args(const testsupport::StandinProcess& standin, std::vector<std::string> extra) {
  std::vector<std::string> args = {"--server", standin.Server(), "--login", "sa", "--password-stdin"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::vector<std::string> CompanyDatabases(testsupport::StandinProcess& standin) {
  std::vector<std::string> names;
  for (const auto& entry : standin.ControlJson("DATABASES")) {
    const std::string name = entry.is_string() ? entry.get<std::string>() : entry.value("name", "");
    if (name.rfind("Parvimar", 0) == 0) names.push_back(name);
  }
  return names;
}

std::map<std::string, json> States(testsupport::StandinProcess& standin,
                                   const std::vector<std::string>& names) {
  std::map<std::string, json> states;
  for (const auto& name : names) states[name] = standin.ControlJson("STATE " + name);
  return states;
}

// Every request each company database received, in order (master's list aside).
std::map<std::string, std::vector<std::string>> RequestsByDatabase(testsupport::StandinProcess& standin) {
  std::map<std::string, std::vector<std::string>> requests;
  for (const auto& entry : standin.ControlJson("LOG")) {
    if (entry["database"] != "master") requests[entry["database"]].push_back(entry["text"]);
  }
  return requests;
}

// The names listed after `prefix` on a line of `text`.
std::set<std::string> ListedAfter(const std::string& text, const std::string& prefix) {
  std::set<std::string> names;
  const auto start = text.find(prefix);
  if (start == std::string::npos) return names;
  const auto end = text.find('\n', start);
  std::string list = text.substr(start + prefix.size(), end - start - prefix.size());
  for (std::size_t at = 0, semi; (semi = list.find(';', at)) != std::string::npos; at = semi + 1) {
    names.insert(list.substr(at, semi - at));
  }
  return names;
}

// Each database is as it was before the run or as a complete run leaves it.
void ExpectNoneHalfConverted(const std::map<std::string, json>& before,
                             const std::map<std::string, json>& done,
                             const std::map<std::string, json>& now) {
  for (const auto& [name, state] : now) {
    EXPECT_TRUE(state == before.at(name) || state == done.at(name))
        << name << " is half converted: " << state;
  }
}

class ConvertFleet : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<Server>("main", 40);
    names_ = CompanyDatabases(standin());
    before_ = States(standin(), names_);
    const auto run = e2e::RunConvert(Args(standin(), {"--quiet"}), kPassword);
    ASSERT_EQ(run.exit_code, 1) << run.err;
    done_ = States(standin(), names_);
    sequential_ = run;
    sequential_requests_ = RequestsByDatabase(standin());
  }
  testsupport::StandinProcess& standin() { return server_->standin; }

  std::unique_ptr<Server> server_;
  std::vector<std::string> names_;
  std::map<std::string, json> before_, done_;
  e2e::Finished sequential_;
  std::map<std::string, std::vector<std::string>> sequential_requests_;
};

TEST_F(ConvertFleet, ParallelRunPrintsSendsAndLeavesWhatTheSequentialRunDoes) {
  ASSERT_EQ(names_.size(), 46u);
  for (const char* jobs : {"2", "5", "16"}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs);
    standin().Control("RESET");
    const auto run = e2e::RunConvert(Args(standin(), {"--jobs", jobs}), kPassword);
    EXPECT_EQ(run.exit_code, sequential_.exit_code);
    EXPECT_EQ(run.out, sequential_.out);
    EXPECT_EQ(run.err, sequential_.err);
    EXPECT_EQ(RequestsByDatabase(standin()), sequential_requests_);
    EXPECT_EQ(States(standin(), names_), done_);
  }
}

// A database taken offline, or one whose connection drops, in the middle of a
// parallel run.
TEST_F(ConvertFleet, FaultsInTheMiddleOfAParallelRunLeaveNoDatabaseHalfConverted) {
  // Offline: the run ends there exactly as the sequential one does.
  standin().Control("RESET");
  standin().Control("FAULT OFFLINE Parvimar020");
  const auto reference = e2e::RunConvert(Args(standin(), {}), kPassword);
  EXPECT_EQ(reference.exit_code, 2);
  EXPECT_EQ(reference.err.rfind("4060\n", 0), 0u) << reference.err;
  const auto offline_states = States(standin(), names_);
  standin().Control("RESET");
  standin().Control("FAULT OFFLINE Parvimar020");
  const auto offline = e2e::RunConvert(Args(standin(), {"--jobs", "8"}), kPassword);
  EXPECT_EQ(offline.exit_code, 2);
  EXPECT_EQ(offline.out, reference.out);
  EXPECT_EQ(offline.err, reference.err);
  EXPECT_EQ(States(standin(), names_), offline_states);

  // Dropped connections: whichever databases they hit end rolled back and are
  // named as failed; the others are converted.
  for (const char* fault : {"FAULT DROP_AFTER 90", "FAULT DROP_ON drop statistics"}) {
    SCOPED_TRACE(fault);
    standin().Control("RESET");
    standin().Control(fault);
    const auto run = e2e::RunConvert(Args(standin(), {"--jobs", "8"}), kPassword);
    EXPECT_EQ(run.exit_code, 1) << run.err;
    const auto now = States(standin(), names_);
    ExpectNoneHalfConverted(before_, done_, now);
    const auto failed = ListedAfter(run.err, kFailedPrefix);
    for (const auto& name : ListedAfter(run.out, "bases de dados: ")) {
      EXPECT_EQ(failed.count(name) == 1, now.at(name) == before_.at(name)) << name;
    }
  }
}

TEST_F(ConvertFleet, InterruptedAtRandomMomentsLeavesEveryDatabaseWholeAndWritesTheReport) {
  const std::string report = TempPath("interrupted-report");
  std::mt19937 random(20241207);
  // Late enough for the run to have begun (a signal during start-up ends the
  // program before it changes anything), early enough for it not to have ended.
  std::uniform_int_distribution<int> delay_ms(150, 900);
  // A hang-up (the SSH session gone) stops the run as the other two do.
  const std::pair<int, int> signals[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (int round = 0; round < 6; ++round) {
    const auto [signal, exit_code] = signals[round % 3];
    const int delay = delay_ms(random);
    SCOPED_TRACE("round " + std::to_string(round) + ", signal after " + std::to_string(delay) + " ms");
    standin().Control("RESET");
    standin().Control("FAULT LATENCY 5");
    e2e::ConvertProcess process(Args(standin(), {"--jobs", "3", "--report", report}), kPassword);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    process.Signal(signal);
    const auto run = process.Wait();
    EXPECT_EQ(run.exit_code, exit_code) << run.err;
    standin().Control("FAULT CLEAR");
    ExpectNoneHalfConverted(before_, done_, States(standin(), names_));
    e2e::ExpectValidReport(ReadFile(report));
    const json written = json::parse(ReadFile(report));
    EXPECT_EQ(written["exit_status"], run.exit_code);
    EXPECT_TRUE(written["interrupted"]);
    // The databases the run never started are untouched, and the printed names
    // are those it went into, in the server's order.
    std::string printed;
    for (const auto& database : written["databases"]) {
      if (database["outcome"] == "not_reached") {
        EXPECT_EQ(States(standin(), {database["name"]}).begin()->second, before_.at(database["name"]));
      } else {
        printed += database["name"].get<std::string>() + "\n";
      }
    }
    EXPECT_EQ(run.out, printed);
  }
  fs::remove(report);
}

// A change the server never finishes: the second signal cancels it at once and
// the database is rolled back.
TEST_F(ConvertFleet, SecondSignalCancelsAStatementThatDoesNotEndAndRollsBack) {
  standin().Control("RESET");
  standin().Control("FAULT HANG_ON ALTER COLUMN");
  e2e::ConvertProcess process(Args(standin(), {"--jobs", "4"}), kPassword);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto start = std::chrono::steady_clock::now();
  process.Signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  process.Signal(SIGINT);
  const auto run = process.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(run.exit_code, 130) << run.err;
  standin().Control("FAULT CLEAR");
  EXPECT_EQ(States(standin(), names_), before_);
}

// Started under nohup, the run goes on through a hang-up to its normal end.
TEST_F(ConvertFleet, AHangUpIsIgnoredWhenTheRunWasStartedToIgnoreIt) {
  standin().Control("RESET");
  standin().Control("FAULT LATENCY 5");
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGHUP, &ignore, &previous);  // inherited through fork and exec, as nohup does it
  e2e::ConvertProcess process(Args(standin(), {"--jobs", "3"}), kPassword);
  sigaction(SIGHUP, &previous, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  process.Signal(SIGHUP);
  const auto run = process.Wait();
  standin().Control("FAULT CLEAR");
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.out, sequential_.out);
  EXPECT_EQ(States(standin(), names_), done_);
}

TEST(ConvertServers, EachServerRunsOnItsOwnAndAnUnreachableOneDoesNotStopTheOthers) {
  Server first("first", 4);
  Server second("second", 3);
  const std::string list = TempPath("servers");
  const std::string report = TempPath("servers-report");
  std::ofstream(list) << "# the estate\n\n127.0.0.1,1\n"
                      << second.standin.Server() << "  password-env=SECOND_PASSWORD  # its own password\n";
  const auto run = e2e::RunConvert({"--server", first.standin.Server(), "--servers-file", list, "--login",
                                    "sa", "--password-stdin", "--jobs", "3", "--report", report},
                                   kPassword, {{"SECOND_PASSWORD", "Tavinor#2024"}});
  EXPECT_EQ(run.exit_code, 2) << run.err;
  // Grouped by server, in the order given; each group is the one-server output.
  const std::string demo_names = "Parvimar01\nParvimar02\nParvimar03\nParvimar04\nParvimar05\nParvimar06\n";
  const std::string detected = "Processo Terminado!\n Foram detectadas falhas nas seguintes bases de dados: ";
  EXPECT_EQ(run.out, "== server " + first.standin.Server() + " ==\n" + demo_names +
                         "Parvimar001\nParvimar002\nParvimar003\nParvimar004\n" + detected +
                         "Parvimar01;Parvimar02;Parvimar04;Parvimar05;Parvimar06;Parvimar001;Parvimar002;"
                         "Parvimar003;Parvimar004;\n"
                         "== server 127.0.0.1,1 ==\n"
                         "== server " +
                         second.standin.Server() + " ==\n" + demo_names +
                         "Parvimar001\nParvimar002\nParvimar003\n" + detected +
                         "Parvimar01;Parvimar02;Parvimar04;Parvimar05;Parvimar06;Parvimar001;Parvimar002;"
                         "Parvimar003;\n");
  EXPECT_NE(run.err.find("== server 127.0.0.1,1 ==\n20009\n"), std::string::npos) << run.err;
  e2e::ExpectValidReport(ReadFile(report));
  const json written = json::parse(ReadFile(report));
  ASSERT_EQ(written["servers"].size(), 3u);
  EXPECT_EQ(written["exit_status"], 2);
  EXPECT_EQ(written["servers"][0]["exit_status"], 1);
  EXPECT_EQ(written["servers"][1]["exit_status"], 2);
  EXPECT_FALSE(written["servers"][1]["database_list_read"]);
  EXPECT_EQ(written["servers"][2]["totals"]["converted"], 5);
  EXPECT_EQ(ReadFile(report).find("Tavinor#2024"), std::string::npos);
  fs::remove(list);
  fs::remove(report);
}

}  // namespace
