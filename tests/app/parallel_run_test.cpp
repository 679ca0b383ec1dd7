#include "app/parallel_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>

#include "app/conversion_run.h"
#include "conversion_statements.h"
#include "platform/error_numbers.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

// The fields and captions of a run; the captions may come from any worker.
class View final : public app::ConversionView {
 public:
  std::string ServerText() override { return "srv01"; }
  std::string LoginText() override { return "sa"; }
  std::string PasswordText() override { return "segredo"; }
  void Refresh() override {}
  void SetProgressCaption(const std::string& caption) override {
    captions.push_back(caption);
    if (on_caption) on_caption(caption);
  }
  std::vector<std::string> captions;
  std::function<void(const std::string&)> on_caption;
};

// Everything a run leaves behind that the sequential run pins.
struct Observed {
  std::vector<std::string> captions;
  std::vector<platform::RecordingUi::Box> boxes;
  std::vector<int> pointer_history;
  std::map<std::string, std::vector<std::string>> traces;
  std::string detected, failed;
  app::ConversionOutcome::Status status;
  bool interrupted;
  int open_sessions;
  std::int32_t error_code;
};

bool operator==(const platform::RecordingUi::Box& a, const platform::RecordingUi::Box& b) {
  return a.text == b.text && a.style == b.style && a.title == b.title;
}

std::vector<std::string> Names(int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) names.push_back("Parvimar" + std::to_string(100 + i));
  return names;
}

// Twelve databases: every third already converted, every fourth failing its
// change, all with the usual dependents; `script` adds a fault.
void Script(testsupport::ScriptedDriver& driver,
            const std::function<void(testsupport::ScriptedDriver&)>& script) {
  std::vector<std::vector<Variant>> rows;
  int n = 0;
  for (const auto& name : Names(12)) {
    ++n;
    rows.push_back({Variant(name)});
    driver.OnExecute(name, testsupport::kTypeQuery,
                     Reply({Table({"name"}, {{Variant(n % 3 == 0 ? "datetime" : "smalldatetime")}})}));
    driver.OnExecute(name, "sp_helpindex MovCliente",
                     Reply({Table({"index_name", "index_description", "index_keys"},
                                  {{"IX_Registo", "nonclustered", "NumRegisto, DataSys"}})}));
    driver.OnExecute(name, "sp_helpconstraint 'MovCliente'",
                     Reply({Table({"Object Name"}, {{"MovCliente"}}),
                            Table({"constraint_type", "constraint_name"},
                                  {{"DEFAULT on column DataSys", "DF_MovCliente_DataSys"}})}));
    if (n % 4 == 0) {
      driver.FailExecute(name, testsupport::kAlterDataSys, Error(241, "Conversion failed."));
    }
  }
  driver.OnExecute("master", testsupport::kDatabaseListQuery, Reply({Table({"name"}, std::move(rows))}));
  if (script) script(driver);
}

Observed Observe(const std::function<app::ConversionOutcome(View&)>& run,
                 const std::function<void(testsupport::ScriptedDriver&)>& script = {},
                 const std::function<void(const std::string&)>& on_caption = {}) {
  testsupport::ScopedScriptedDriver driver;
  Script(*driver, script);
  auto ui = std::make_shared<platform::RecordingUi>();
  platform::SetUi(ui);
  gErrCode = 0;
  View view;
  view.on_caption = on_caption;
  const auto outcome = run(view);
  platform::SetUi(nullptr);
  Observed observed{view.captions,          ui->boxes,
                    ui->pointer_history,    {},
                    outcome.detected_list,  outcome.failed_list,
                    outcome.status,         outcome.interrupted,
                    driver->OpenSessions(), gErrCode};
  for (const auto& name : Names(12)) observed.traces[name] = driver->Trace(name);
  observed.traces["master"] = driver->Trace("master");
  return observed;
}

void ExpectSame(const Observed& actual, const Observed& expected) {
  EXPECT_EQ(actual.captions, expected.captions);
  EXPECT_EQ(actual.boxes.size(), expected.boxes.size());
  for (std::size_t i = 0; i < std::min(actual.boxes.size(), expected.boxes.size()); ++i) {
    EXPECT_TRUE(actual.boxes[i] == expected.boxes[i])
        << actual.boxes[i].text << " / " << expected.boxes[i].text;
  }
  EXPECT_EQ(actual.pointer_history, expected.pointer_history);
  EXPECT_EQ(actual.traces, expected.traces);
  EXPECT_EQ(actual.detected, expected.detected);
  EXPECT_EQ(actual.failed, expected.failed);
  EXPECT_EQ(actual.status, expected.status);
  EXPECT_EQ(actual.error_code, expected.error_code);
  EXPECT_EQ(actual.open_sessions, 0);
}

TEST(ParallelRun, EveryJobCountLeavesWhatTheSequentialRunLeaves) {
  const std::function<void(testsupport::ScriptedDriver&)> faults[] = {
      {},
      // The sixth database cannot be opened: the run ends there, and the databases
      // after it receive nothing, even those other workers had connected to.
      [](testsupport::ScriptedDriver& driver) {
        driver.FailConnect("Parvimar106", Error(4060, "Cannot open database \"Parvimar106\"."));
      },
      [](testsupport::ScriptedDriver& driver) {
        driver.FailExecute("master", testsupport::kDatabaseListQuery, Error(208, "Invalid object name."));
      },
      [](testsupport::ScriptedDriver& driver) {
        driver.FailCommit("Parvimar101", Error(3902, "No transaction."));
      },
  };
  for (std::size_t f = 0; f < std::size(faults); ++f) {
    const Observed sequential = Observe([](View& view) { return app::RunConversion(view); }, faults[f]);
    for (const int jobs : {1, 2, 5, 16}) {
      SCOPED_TRACE("fault " + std::to_string(f) + ", jobs " + std::to_string(jobs));
      app::RunControl control;
      ExpectSame(
          Observe([&](View& view) { return app::RunConversionInParallel(view, jobs, control); }, faults[f]),
          sequential);
    }
  }
}

TEST(ParallelRun, OneJobSendsExactlyWhatTheSequentialRunSends) {
  const auto events = [](const std::function<app::ConversionOutcome(View&)>& run) {
    testsupport::ScopedScriptedDriver driver;
    Script(*driver, {});
    platform::SetUi(std::make_shared<platform::RecordingUi>());
    View view;
    run(view);
    platform::SetUi(nullptr);
    std::vector<std::tuple<int, int, std::string, std::string>> flat;
    for (const auto& event : driver->Events()) {
      flat.emplace_back(static_cast<int>(event.kind), event.session, event.database, event.text);
    }
    return flat;
  };
  app::RunControl control;
  EXPECT_EQ(events([&](View& view) { return app::RunConversionInParallel(view, 1, control); }),
            events([](View& view) { return app::RunConversion(view); }));
}

TEST(ParallelRun, AStopTakesNoNewDatabaseAndShowsNoClosingMessage) {
  for (const int jobs : {1, 4}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    app::RunControl control;
    const Observed stopped =
        Observe([&](View& view) { return app::RunConversionInParallel(view, jobs, control); }, {},
                [&](const std::string& caption) {
                  if (caption == "Parvimar103") control.RequestStop();
                });
    EXPECT_TRUE(stopped.interrupted);
    EXPECT_TRUE(stopped.boxes.empty());
    EXPECT_EQ(stopped.pointer_history, (std::vector<int>{11, 0}));
    // What was shown was finished; nothing after it was started.
    EXPECT_EQ(stopped.captions, (std::vector<std::string>{"Parvimar101", "Parvimar102", "Parvimar103"}));
    EXPECT_EQ(stopped.traces.at("Parvimar102").back(), "<commit>");
    for (const auto& name : Names(12)) {
      if (name > "Parvimar103") {
        EXPECT_TRUE(stopped.traces.at(name).empty()) << name;
      }
    }
    EXPECT_EQ(stopped.open_sessions, 0);
  }
}

// Aborting while connected: the request under way is cancelled (the scripted
// driver has none) and every later one but the rollback is refused, and so is
// every new connection.
TEST(ParallelRun, AfterAnAbortOnlyRollbacksGoThrough) {
  app::RunControl control;
  testsupport::ScopedScriptedDriver driver;
  Script(*driver, {});
  platform::SetDriver(control.Guard(platform::CurrentDriverShared()));
  platform::Connection connection;
  connection.Open("Data Source=srv01;Initial Catalog=Parvimar101", "sa", "segredo");
  connection.BeginTrans();
  control.Abort();
  EXPECT_TRUE(control.StopRequested());
  try {
    connection.Execute(testsupport::kAlterDataSys);
    ADD_FAILURE() << "a request after the abort went through";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), platform::kErrOperationCancelled);
  }
  EXPECT_THROW(connection.CommitTrans(), Error);
  connection.RollbackTrans();
  EXPECT_EQ(driver->Trace("Parvimar101"), (std::vector<std::string>{"<begin>", "<rollback>"}));
  platform::Connection another;
  EXPECT_THROW(another.Open("Data Source=srv01;Initial Catalog=Parvimar102", "sa", "segredo"), Error);
}

}  // namespace
