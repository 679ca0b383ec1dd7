#include "app/run_report.h"

#include <gtest/gtest.h>

#include <map>

#include "app/conversion_statements.h"
#include "app/keep_dependents.h"
#include "scripted_driver.h"

namespace {

using platform::BatchReply;
using platform::Variant;
using testsupport::Table;

// Feeds a recorder the requests of a run, as the observed driver reports them.
class RunRecorderTest : public ::testing::Test {
 protected:
  void Send(const std::string& database, const std::string& text, bool ok = true,
            const BatchReply* reply = nullptr) {
    platform::StatementEvent event;
    event.database = database;
    event.text = text;
    event.ok = ok;
    if (!ok) {
      event.error_number = 3712;
      event.error_text = "Operation has been cancelled by the user.";
    }
    event.reply = reply;
    recorder_.OnStatement(event);
  }
  void List(std::vector<std::vector<Variant>> names) {
    const BatchReply reply = testsupport::Reply({Table({"name"}, std::move(names))});
    Send("master", app::kDatabaseListQuery, true, &reply);
  }
  void TypeIs(const std::string& database, Variant type) {
    const BatchReply reply = testsupport::Reply({Table({"name"}, {{std::move(type)}})});
    recorder_.OnDatabase(database);
    Send(database, app::kTypeQuery, true, &reply);
  }
  std::map<std::string, std::string> Outcomes(const app::ConversionOutcome& outcome, int status) {
    std::map<std::string, std::string> outcomes;
    const nlohmann::json report = recorder_.Report(outcome, status);
    for (const auto& database : report["databases"]) {
      outcomes[database["name"]] = database["outcome"];
    }
    return outcomes;
  }

  app::RunRecorder recorder_{"srv", "sa"};
};

TEST_F(RunRecorderTest, OutcomeIsWhatTheServerWasLeftWith) {
  List({{"Converted"}, {"Datetime"}, {"Unreadable"}, {"Stopped"}, {"NoDependents"}, {"Later"}});
  TypeIs("Converted", "smalldatetime");
  for (const char* text : {"BEGIN TRANSACTION", app::kAlterDataSys, "COMMIT TRANSACTION"})
    Send("Converted", text);
  TypeIs("Datetime", " DateTime ");
  TypeIs("Unreadable", Variant::Null());
  // A stop cancelled the drop under way and refused the rest before it was sent.
  TypeIs("Stopped", "smalldatetime");
  Send("Stopped", "BEGIN TRANSACTION");
  Send("Stopped", "Drop index MovCliente.IX_MovCliente_Registo", false);
  Send("Stopped", "ROLLBACK TRANSACTION");
  // Keeping the dependents: the catalogue could not be read, so nothing was sent.
  TypeIs("NoDependents", "smalldatetime");
  Send("NoDependents", "BEGIN TRANSACTION");
  Send("NoDependents", app::kDependentsQuery, false);
  Send("NoDependents", "ROLLBACK TRANSACTION");
  app::ConversionOutcome outcome;
  outcome.interrupted = true;

  EXPECT_EQ(Outcomes(outcome, 130), (std::map<std::string, std::string>{{"Converted", "converted"},
                                                                        {"Datetime", "already_converted"},
                                                                        {"Unreadable", "already_converted"},
                                                                        {"Stopped", "failed"},
                                                                        {"NoDependents", "failed"},
                                                                        {"Later", "not_reached"}}));
  const auto report = recorder_.Report(outcome, 130);
  EXPECT_EQ(report["totals"]["failed"], 2);
  EXPECT_EQ(report["databases"][3]["type_after"], "smalldatetime");
}

TEST_F(RunRecorderTest, DryRunSaysSoEvenWhenItPlannedNothing) {
  recorder_.SetDryRun(true);
  app::ConversionOutcome outcome;
  outcome.status = app::ConversionOutcome::Status::kConnectionFailed;

  EXPECT_EQ(recorder_.Report(outcome, 2)["mode"], "dry-run");
}

}  // namespace
