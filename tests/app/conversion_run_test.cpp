#include "app/conversion_run.h"

#include <gtest/gtest.h>

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

using testsupport::kTypeQuery;
constexpr const char* kListQuery = testsupport::kDatabaseListQuery;
constexpr const char* kAlter = testsupport::kAlterDataSys;
constexpr const char* kNoInconsistencies = "Processo Terminado!\rNão foram detectadas incosistências";

class FakeView final : public app::ConversionView {
 public:
  std::string ServerText() override {
    ++field_reads;
    return server;
  }
  std::string LoginText() override { return login; }
  std::string PasswordText() override { return password; }
  void Refresh() override { ++refreshes; }
  void SetProgressCaption(const std::string& caption) override { captions.push_back(caption); }

  std::string server = "srv01", login = "sa", password = "segredo";
  int field_reads = 0;
  int refreshes = 0;
  std::vector<std::string> captions;
};

class ConversionRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    gErrCode = 0;
    gErrDescription.clear();
  }
  void TearDown() override { platform::SetUi(nullptr); }

  void Databases(std::vector<std::string> names) {
    std::vector<std::vector<Variant>> rows;
    for (auto& name : names) rows.push_back({Variant(name)});
    driver_->OnExecute("master", kListQuery, Reply({Table({"name"}, std::move(rows))}));
  }
  void TypeOf(const std::string& database, std::vector<std::string> type_names) {
    std::vector<std::vector<Variant>> rows;
    for (auto& name : type_names) rows.push_back({Variant(name)});
    driver_->OnExecute(database, kTypeQuery, Reply({Table({"name"}, std::move(rows))}));
  }
  // The dependents SQL Server reports for a table with an index on NumRegisto and
  // DataSys, one on Cliente only, a default on DataSys and a user statistic on it.
  void TypicalDependents(const std::string& database) {
    driver_->OnExecute(database, "sp_helpindex MovCliente",
                       Reply({Table({"index_name", "index_description", "index_keys"},
                                    {{"IX_Registo", "nonclustered located on PRIMARY", "NumRegisto, DataSys"},
                                     {"IX_Cliente", "nonclustered located on PRIMARY", "Cliente"}})}));
    Constraints(database, {{"DEFAULT on column DataSys", "DF_MovCliente_DataSys"}});
    driver_->OnExecute(database, "sp_helpstats MovCliente",
                       Reply({Table({"statistics_name", "statistics_keys"},
                                    {{"ST_DataSys", "DataSys"}, {"ST_Cliente", "Cliente"}})}));
  }
  void Constraints(const std::string& database, std::vector<std::pair<std::string, std::string>> rows) {
    std::vector<std::vector<Variant>> table_rows;
    for (auto& [type, name] : rows) table_rows.push_back({Variant(type), Variant(name)});
    driver_->OnExecute(database, "sp_helpconstraint 'MovCliente'",
                       Reply({Table({"Object Name"}, {{"MovCliente"}}),
                              Table({"constraint_type", "constraint_name"}, std::move(table_rows))}));
  }
  std::vector<std::pair<std::string, int>> Boxes() const {
    std::vector<std::pair<std::string, int>> boxes;
    for (const auto& box : ui_->boxes) {
      EXPECT_EQ(box.title, "Tavinor");
      boxes.emplace_back(box.text, box.style);
    }
    return boxes;
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
  FakeView view_;
};

TEST_F(ConversionRunTest, ConvertsInOneTransactionWithTheExactStatements) {
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  TypicalDependents("Parvimar01");

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(driver_->Statements("master"), std::vector<std::string>{kListQuery});
  EXPECT_EQ(driver_->Trace("Parvimar01"), (std::vector<std::string>{
                                              kTypeQuery,
                                              "<begin>",
                                              "sp_helpindex MovCliente",
                                              "Drop index MovCliente.IX_Registo",
                                              "sp_helpconstraint 'MovCliente'",
                                              "Alter Table MovCliente Drop Constraint  DF_MovCliente_DataSys",
                                              "sp_helpstats MovCliente",
                                              "drop statistics MovCliente.ST_DataSys",
                                              kAlter,
                                              "<commit>",
                                          }));
  EXPECT_EQ(
      Boxes(),
      (std::vector<std::pair<std::string, int>>{
          {"Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: Parvimar01;", 64}}));
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
  EXPECT_EQ(view_.captions, std::vector<std::string>{"Parvimar01"});
  EXPECT_EQ(view_.refreshes, 1);
  EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kCompleted);
  EXPECT_EQ(outcome.failed_list, "");
  EXPECT_EQ(driver_->OpenSessions(), 0) << "every connection is closed at the end";
}

TEST_F(ConversionRunTest, ConnectsWithTheFieldsReadForEveryDatabase) {
  Databases({"Parvimar01", "Parvimar02"});
  TypeOf("Parvimar01", {"datetime"});
  TypeOf("Parvimar02", {"datetime"});

  app::RunConversion(view_);

  const auto& requests = driver_->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].database, "master");
  EXPECT_EQ(requests[1].database, "Parvimar01");
  EXPECT_EQ(requests[2].database, "Parvimar02");
  for (const auto& request : requests) {
    EXPECT_EQ(request.server, "srv01");
    EXPECT_EQ(request.login, "sa");
    EXPECT_EQ(request.password, "segredo");
    EXPECT_FALSE(request.integrated_security);
    EXPECT_EQ(request.login_timeout_seconds, 600);
  }
  EXPECT_EQ(view_.field_reads, 3);
}

TEST_F(ConversionRunTest, NoMatchingDatabaseTouchesNothing) {
  Databases({});

  app::RunConversion(view_);

  EXPECT_EQ(driver_->Requests().size(), 1u);
  EXPECT_EQ(Boxes(), (std::vector<std::pair<std::string, int>>{{kNoInconsistencies, 64}}));
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
  EXPECT_TRUE(view_.captions.empty());
}

TEST_F(ConversionRunTest, TypeNamesAreComparedLowerCasedAndTrimmed) {
  // Capitals and padding count as converted; smalldatetime does not. The query
  // joins on the storage type, so any row naming datetime means converted, even
  // after an alias type built on datetime.
  Databases({"ParvimarA", "ParvimarB", "ParvimarC", "ParvimarD"});
  TypeOf("ParvimarA", {" DateTime  "});
  TypeOf("ParvimarB", {"DATETIME", "smalldatetime"});
  TypeOf("ParvimarC", {"DataHora", "datetime"});
  TypeOf("ParvimarD", {"smalldatetime", "DataCurta"});

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(driver_->Statements("ParvimarA"), std::vector<std::string>{kTypeQuery});
  EXPECT_EQ(driver_->Statements("ParvimarB"), std::vector<std::string>{kTypeQuery});
  EXPECT_EQ(driver_->Statements("ParvimarC"), std::vector<std::string>{kTypeQuery});
  EXPECT_EQ(outcome.detected_list, "ParvimarD;");
}

TEST_F(ConversionRunTest, AllConvertedShowsNoInconsistencies) {
  Databases({"Parvimar01", "Parvimar02"});
  TypeOf("Parvimar01", {"datetime"});
  TypeOf("Parvimar02", {"datetime"});

  app::RunConversion(view_);

  EXPECT_EQ(Boxes(), (std::vector<std::pair<std::string, int>>{{kNoInconsistencies, 64}}));
  EXPECT_EQ(view_.captions, (std::vector<std::string>{"Parvimar01", "Parvimar02"}));
}

TEST_F(ConversionRunTest, SecondDatabaseFailingIsListedAndRolledBack) {
  Databases({"Parvimar01", "Parvimar02"});
  TypeOf("Parvimar01", {"smalldatetime"});
  TypeOf("Parvimar02", {"nvarchar"});
  TypicalDependents("Parvimar01");
  TypicalDependents("Parvimar02");
  driver_->FailExecute(
      "Parvimar02", kAlter,
      Error(241, "Conversion failed when converting date and/or time from character string."));

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(Boxes(), (std::vector<std::pair<std::string, int>>{
                         {"Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: "
                          "Parvimar01;Parvimar02;",
                          64},
                         {"Não foi possível alterar as seguintes bases de dados: Parvimar02;", 16}}));
  EXPECT_EQ(driver_->Trace("Parvimar01").back(), "<commit>");
  auto second = driver_->Trace("Parvimar02");
  EXPECT_EQ(second.back(), "<rollback>");
  EXPECT_EQ(second[second.size() - 2], kAlter);
  EXPECT_EQ(outcome.failed_list, "Parvimar02;");
}

TEST_F(ConversionRunTest, FailedCommitCountsAsFailedChange) {
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  driver_->FailCommit("Parvimar01",
                      Error(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."));

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
  EXPECT_EQ(driver_->Trace("Parvimar01").back(), "<rollback>");
}

TEST_F(ConversionRunTest, OnlyTheFirstConstraintRowIsExamined) {
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  Constraints("Parvimar01", {{"PRIMARY KEY (clustered)", "PK_MovCliente"},
                             {"DEFAULT on column DataSys", "DF_MovCliente_DataSys"}});
  driver_->FailExecute("Parvimar01", kAlter,
                       Error(5074, "The object 'DF_MovCliente_DataSys' is dependent on column 'DataSys'."));

  const auto outcome = app::RunConversion(view_);

  for (const auto& statement : driver_->Statements("Parvimar01")) {
    EXPECT_EQ(statement.find("Drop Constraint"), std::string::npos) << statement;
  }
  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
  EXPECT_EQ(outcome.detected_list, "Parvimar01;");
}

TEST_F(ConversionRunTest, KeyTestsAreSubstringTestsOnTheLowerCasedText) {
  // "DataSysOld" names DataSys as far as a substring test goes, and so does a
  // check constraint whose type text mentions the column.
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  driver_->OnExecute(
      "Parvimar01", "sp_helpindex MovCliente",
      Reply({Table({"index_name", "index_description", "index_keys"},
                   {{"IX_Old", "nonclustered", "DATASYSOLD"}, {"IX_Num", "clustered", "NumRegisto"}})}));
  Constraints("Parvimar01", {{"CHECK on column DataSys", "CK_Data"}});
  driver_->OnExecute("Parvimar01", "sp_helpstats MovCliente",
                     Reply({Table({"statistics_name", "statistics_keys"}, {{"_WA_Sys_1", "datasys"}})}));

  app::RunConversion(view_);

  auto statements = driver_->Statements("Parvimar01");
  EXPECT_NE(std::find(statements.begin(), statements.end(), "Drop index MovCliente.IX_Old"),
            statements.end());
  EXPECT_EQ(std::find(statements.begin(), statements.end(), "Drop index MovCliente.IX_Num"),
            statements.end());
  EXPECT_NE(
      std::find(statements.begin(), statements.end(), "Alter Table MovCliente Drop Constraint  CK_Data"),
      statements.end());
  EXPECT_NE(std::find(statements.begin(), statements.end(), "drop statistics MovCliente._WA_Sys_1"),
            statements.end());
}

TEST_F(ConversionRunTest, MissingTableCountsAsNeedingTheChangeAndFails) {
  Databases({"ParvimarSemTabela"});
  driver_->OnExecute("ParvimarSemTabela", kTypeQuery, Reply({Table({"name"}, {})}));
  driver_->FailExecute("ParvimarSemTabela", "sp_helpindex MovCliente",
                       Error(15009,
                             "The object 'movcliente' does not exist in database 'ParvimarSemTabela' or is "
                             "invalid for this operation."));
  driver_->FailExecute("ParvimarSemTabela", "sp_helpconstraint 'MovCliente'",
                       Error(15009, "The object 'MovCliente' does not exist."));
  driver_->FailExecute("ParvimarSemTabela", "sp_helpstats MovCliente",
                       Error(15009, "The object 'movcliente' does not exist."));
  driver_->FailExecute("ParvimarSemTabela", kAlter, Error(4902, "Cannot find the object \"MovCliente\"."));

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(outcome.detected_list, "ParvimarSemTabela;");
  EXPECT_EQ(outcome.failed_list, "ParvimarSemTabela;");
  EXPECT_EQ(ui_->boxes.size(), 2u);
}

TEST_F(ConversionRunTest, UnreadableTypeCountsAsConverted) {
  // A failure while the type is evaluated counts as the test being met.
  Databases({"ParvimarNull", "ParvimarColuna"});
  driver_->OnExecute("ParvimarNull", kTypeQuery, Reply({Table({"name"}, {{Variant::Null()}})}));
  driver_->OnExecute("ParvimarColuna", kTypeQuery, Reply({Table({"tipo"}, {{"smalldatetime"}})}));

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(outcome.detected_list, "");
  EXPECT_EQ(Boxes(), (std::vector<std::pair<std::string, int>>{{kNoInconsistencies, 64}}));
}

TEST_F(ConversionRunTest, TableWithoutIndexesGivesNoResultAndNoDrops) {
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  platform::BatchReply message_only;
  message_only.messages = {
      "The object 'movcliente' does not have any indexes, or you do not have permissions."};
  driver_->OnExecute("Parvimar01", "sp_helpindex MovCliente", message_only);

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(driver_->Trace("Parvimar01"),
            (std::vector<std::string>{kTypeQuery, "<begin>", "sp_helpindex MovCliente",
                                      "sp_helpconstraint 'MovCliente'", "sp_helpstats MovCliente", kAlter,
                                      "<commit>"}));
  EXPECT_EQ(outcome.failed_list, "");
}

TEST_F(ConversionRunTest, WrongPasswordShowsTheConnectionErrorOnly) {
  driver_->FailConnect("master", Error(18456, "Login failed for user 'sa'.", "28000"));

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kConnectionFailed);
  EXPECT_EQ(Boxes(), (std::vector<std::pair<std::string, int>>{{"18456\rLogin failed for user 'sa'.", 16}}));
  EXPECT_TRUE(ui_->pointer_history.empty()) << "the busy pointer is never set";
  EXPECT_EQ(gErrCode, 18456);
}

TEST_F(ConversionRunTest, DatabaseThatCannotBeOpenedEndsTheRunKeepingEarlierChanges) {
  Databases({"Parvimar01", "ParvimarOffline", "Parvimar03"});
  TypeOf("Parvimar01", {"smalldatetime"});
  driver_->FailConnect(
      "ParvimarOffline",
      Error(4060, "Cannot open database \"ParvimarOffline\" requested by the login. The login failed."));

  const auto outcome = app::RunConversion(view_);

  EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kConnectionFailed);
  EXPECT_EQ(
      Boxes(),
      (std::vector<std::pair<std::string, int>>{
          {"4060\rCannot open database \"ParvimarOffline\" requested by the login. The login failed.", 16}}));
  EXPECT_EQ(driver_->Trace("Parvimar01").back(), "<commit>");
  EXPECT_TRUE(driver_->Statements("Parvimar03").empty());
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
  EXPECT_EQ(view_.captions, (std::vector<std::string>{"Parvimar01", "ParvimarOffline"}));
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(ConversionRunTest, FailingDropsDoNotStopTheRun) {
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  TypicalDependents("Parvimar01");
  driver_->FailExecute(
      "Parvimar01", "Drop index MovCliente.IX_Registo",
      Error(3701, "Cannot drop the index 'MovCliente.IX_Registo', because it does not exist."));

  app::RunConversion(view_);

  auto statements = driver_->Statements("Parvimar01");
  EXPECT_EQ(statements.back(), kAlter);
  EXPECT_NE(std::find(statements.begin(), statements.end(), "drop statistics MovCliente.ST_DataSys"),
            statements.end());
}

TEST_F(ConversionRunTest, FailedDatabaseListEndsTheRunAsAFailedConnection) {
  // Nothing may be reported as done when the list was never read.
  const Error failures[] = {Error(208, "Invalid object name 'sysdatabases'.", "42S02"),
                            Error(platform::kErrUnspecified, "Communication link failure", "08S01")};
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.Description());
    ui_->boxes.clear();
    ui_->pointer_history.clear();
    driver_->FailExecute("master", kListQuery, failure);

    const auto outcome = app::RunConversion(view_);

    EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kConnectionFailed);
    EXPECT_EQ(Boxes(), (std::vector<std::pair<std::string, int>>{
                           {std::to_string(failure.Number()) + "\r" + failure.Description(), 16}}));
    EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
    EXPECT_EQ(outcome.detected_list, "");
  }
}

TEST_F(ConversionRunTest, NamesThatAreNotRegularIdentifiersAreBracketed) {
  Databases({"Parvimar01"});
  TypeOf("Parvimar01", {"smalldatetime"});
  driver_->OnExecute("Parvimar01", "sp_helpindex MovCliente",
                     Reply({Table({"index_name", "index_description", "index_keys"},
                                  {{"NonClusteredIndex-20240105-093000", "nonclustered", "DataSys"}})}));
  Constraints("Parvimar01", {{"DEFAULT on column DataSys", "DF Data]Sys"}});
  driver_->OnExecute("Parvimar01", "sp_helpstats MovCliente",
                     Reply({Table({"statistics_name", "statistics_keys"}, {{"Stat 1", "DataSys"}})}));

  app::RunConversion(view_);

  EXPECT_EQ(
      driver_->Statements("Parvimar01"),
      (std::vector<std::string>{
          kTypeQuery, "sp_helpindex MovCliente", "Drop index MovCliente.[NonClusteredIndex-20240105-093000]",
          "sp_helpconstraint 'MovCliente'", "Alter Table MovCliente Drop Constraint  [DF Data]]Sys]",
          "sp_helpstats MovCliente", "drop statistics MovCliente.[Stat 1]", kAlter}));
}

}  // namespace
