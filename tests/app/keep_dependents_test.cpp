#include "app/keep_dependents.h"

#include <gtest/gtest.h>

#include "app/conversion_plan.h"
#include "app/conversion_run.h"
#include "app/conversion_statements.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

const Variant kNull = Variant::Null();

// One row of the index read: index id, name, type, unique, primary key, unique
// constraint, filter, column, key ordinal, descending, included.
using Row = std::vector<Variant>;
Row IndexColumn(int id, const char* name, const char* type, bool unique, const char* column, int ordinal,
                bool descending = false, bool included = false, Variant filter = Variant::Null(),
                bool primary_key = false, bool unique_constraint = false) {
  return {Variant(id),
          Variant(name),
          Variant(type),
          Variant(unique),
          Variant(primary_key),
          Variant(unique_constraint),
          filter,
          Variant(column),
          Variant(ordinal),
          Variant(descending),
          Variant(included)};
}

platform::BatchReply DependentsReply(std::vector<Row> indexes, std::vector<Row> statistics = {},
                                     std::vector<Row> defaults = {}, std::vector<Row> checks = {}) {
  return Reply(
      {Table({"index_id", "name", "type_desc", "is_unique", "is_primary_key", "is_unique_constraint",
              "filter_definition", "column_name", "key_ordinal", "is_descending_key", "is_included_column"},
             std::move(indexes)),
       Table({"stats_id", "name", "filter_definition", "column_name"}, std::move(statistics)),
       Table({"name", "column_name", "definition"}, std::move(defaults)),
       Table({"name", "column_name", "definition", "is_not_trusted"}, std::move(checks))});
}

class KeepDependentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
  }
  void TearDown() override { platform::SetUi(nullptr); }

  // What the change would create again, read through a session on `reply`.
  std::vector<std::string> Creates(platform::BatchReply reply) {
    driver_->OnExecute("Parvimar01", app::kDependentsQuery, std::move(reply));
    platform::Connection connection;
    connection.SetConnectionString(
        "Provider=SQLOLEDB.1;Data Source=srv01;Initial Catalog=Parvimar01;User ID=sa");
    connection.Open({}, {}, "pw");
    std::vector<std::string> statements;
    for (const auto& dependent : app::ReadDependents(connection)) {
      statements.push_back(dependent.unsupported.empty() ? app::CreateStatement(dependent)
                                                         : "unsupported: " + dependent.unsupported);
    }
    return statements;
  }

  void Fleet(const std::string& database, platform::BatchReply dependents) {
    driver_->OnExecute("master", app::kDatabaseListQuery, Reply({Table({"name"}, {{Variant(database)}})}));
    driver_->OnExecute(database, app::kTypeQuery, Reply({Table({"name"}, {{"smalldatetime"}})}));
    driver_->OnExecute(database, app::kDependentsQuery, std::move(dependents));
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
};

TEST_F(KeepDependentsTest, EveryIndexShapeIsCreatedAgainAsItWas) {
  const struct Case {
    const char* what;
    std::vector<Row> rows;
    std::vector<std::string> creates;
  } cases[] = {
      {"keys in order, descending kept",
       {IndexColumn(2, "IX_Registo", "NONCLUSTERED", false, "NumRegisto", 1),
        IndexColumn(2, "IX_Registo", "NONCLUSTERED", false, "DataSys", 2, true)},
       {"CREATE NONCLUSTERED INDEX [IX_Registo] ON MovCliente ([NumRegisto], [DataSys] DESC)"}},
      {"unique clustered",
       {IndexColumn(1, "CX_Data", "CLUSTERED", true, "DataSys", 1)},
       {"CREATE UNIQUE CLUSTERED INDEX [CX_Data] ON MovCliente ([DataSys])"}},
      {"DataSys only as an included column",
       {IndexColumn(3, "IX_Cliente", "NONCLUSTERED", false, "Cliente", 1),
        IndexColumn(3, "IX_Cliente", "NONCLUSTERED", false, "Valor", 0, false, true),
        IndexColumn(3, "IX_Cliente", "NONCLUSTERED", false, "DataSys", 0, false, true)},
       {"CREATE NONCLUSTERED INDEX [IX_Cliente] ON MovCliente ([Cliente]) INCLUDE ([Valor], [DataSys])"}},
      {"DataSys only in the filter, sent as stored",
       {IndexColumn(4, "IX_Recentes", "NONCLUSTERED", false, "NumRegisto", 1, false, false,
                    Variant("([DataSys]>='20240101')"))},
       {"CREATE NONCLUSTERED INDEX [IX_Recentes] ON MovCliente ([NumRegisto]) WHERE "
        "([DataSys]>='20240101')"}},
      {"an index without DataSys stays",
       {IndexColumn(5, "IX_Outro", "NONCLUSTERED", false, "Cliente", 1)},
       {}},
      {"a unique constraint is a constraint again",
       {IndexColumn(6, "UQ_Data", "NONCLUSTERED", true, "DataSys", 1, false, false, kNull, false, true)},
       {"ALTER TABLE MovCliente ADD CONSTRAINT [UQ_Data] UNIQUE NONCLUSTERED ([DataSys])"}},
      {"a primary key too",
       {IndexColumn(1, "PK_Mov", "CLUSTERED", true, "NumRegisto", 1, false, false, kNull, true),
        IndexColumn(1, "PK_Mov", "CLUSTERED", true, "DataSys", 2, false, false, kNull, true)},
       {"ALTER TABLE MovCliente ADD CONSTRAINT [PK_Mov] PRIMARY KEY CLUSTERED ([NumRegisto], [DataSys])"}},
      {"a name with a bracket",
       {IndexColumn(7, "IX]x", "NONCLUSTERED", false, "DataSys", 1)},
       {"CREATE NONCLUSTERED INDEX [IX]]x] ON MovCliente ([DataSys])"}},
      {"a columnstore index cannot be made again",
       {IndexColumn(8, "CS_Mov", "NONCLUSTERED COLUMNSTORE", false, "DataSys", 0)},
       {"unsupported: a NONCLUSTERED COLUMNSTORE index is not created again; the ALTER fails with 5074"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Creates(DependentsReply(c.rows)), c.creates);
  }
}

TEST_F(KeepDependentsTest, StatisticsDefaultsAndChecksOnDataSysAreKept) {
  const auto creates =
      Creates(DependentsReply({},
                              {{3, "ST_Data", kNull, "DataSys"},
                               {3, "ST_Data", kNull, "Cliente"},
                               {4, "ST_Cliente", kNull, "Cliente"}},
                              {{"DF_Cliente", "Cliente", "('')"}, {"DF_Data", "DataSys", "(getdate())"}},
                              {{"CK_Numero", "NumRegisto", "([NumRegisto]>(0))", false},
                               {"CK_Data", "DataSys", "([DataSys]>='20000101')", false},
                               {"CK_Tabela", kNull, "([Cliente]<>'' OR [DataSys] IS NULL)", true}}));
  EXPECT_EQ(creates,
            (std::vector<std::string>{
                "CREATE STATISTICS [ST_Data] ON MovCliente ([DataSys], [Cliente])",
                "ALTER TABLE MovCliente ADD CONSTRAINT [DF_Data] DEFAULT (getdate()) FOR [DataSys]",
                "ALTER TABLE MovCliente WITH CHECK ADD CONSTRAINT [CK_Data] CHECK ([DataSys]>='20000101')",
                "ALTER TABLE MovCliente WITH NOCHECK ADD CONSTRAINT [CK_Tabela] CHECK ([Cliente]<>'' OR "
                "[DataSys] IS NULL)",
            }));
}

TEST_F(KeepDependentsTest, RecreationsAreRecognisedByKindAndName) {
  app::Dependent index;
  index.name = "Index ]1[";
  index.keys = {{"DataSys", false}};
  app::Dependent check;
  check.kind = app::Dependent::Kind::kCheck;
  check.name = "CK_A";
  check.definition = "([DataSys] IS NOT NULL)";
  app::Dependent statistic;
  statistic.kind = app::Dependent::Kind::kStatistics;
  statistic.name = "ST";
  statistic.keys = {{"DataSys", false}};
  for (const auto& [dependent, kind] :
       {std::pair{index, "index"}, std::pair{check, "constraint"}, std::pair{statistic, "statistics"}}) {
    const auto seen = app::RecognizeRecreation(app::CreateStatement(dependent));
    ASSERT_TRUE(seen.has_value()) << dependent.name;
    EXPECT_EQ(seen->kind, kind);
    EXPECT_EQ(seen->name, dependent.name);
  }
  EXPECT_FALSE(app::RecognizeRecreation("Drop index MovCliente.IX_A").has_value());
  EXPECT_FALSE(app::RecognizeRecreation(app::kAlterDataSys).has_value());
}

platform::BatchReply TypicalDependents() {
  return DependentsReply(
      {IndexColumn(1, "PK_MovCliente", "CLUSTERED", true, "NumRegisto", 1, false, false, kNull, true),
       IndexColumn(2, "IX_Registo", "NONCLUSTERED", false, "NumRegisto", 1),
       IndexColumn(2, "IX_Registo", "NONCLUSTERED", false, "DataSys", 2),
       IndexColumn(3, "IX_Cliente", "NONCLUSTERED", false, "Cliente", 1),
       IndexColumn(3, "IX_Cliente", "NONCLUSTERED", false, "DataSys", 0, false, true)},
      {{5, "ST_Data", kNull, "DataSys"}}, {{"DF_Data", "DataSys", "(getdate())"}});
}

TEST_F(KeepDependentsTest, RunDropsAltersAndCreatesAgainInOneTransaction) {
  Fleet("Parvimar01", TypicalDependents());

  app::FixedFieldsView view("srv01", "sa", "pw");
  const auto outcome = app::RunConversion(view, app::ConversionOptions{true});

  EXPECT_EQ(driver_->Trace("Parvimar01"),
            (std::vector<std::string>{
                app::kTypeQuery,
                "<begin>",
                app::kDependentsQuery,
                "Alter Table MovCliente Drop Constraint  DF_Data",
                "drop statistics MovCliente.ST_Data",
                "Drop index MovCliente.IX_Cliente",
                "Drop index MovCliente.IX_Registo",
                app::kAlterDataSys,
                "CREATE NONCLUSTERED INDEX [IX_Registo] ON MovCliente ([NumRegisto], [DataSys])",
                "CREATE NONCLUSTERED INDEX [IX_Cliente] ON MovCliente ([Cliente]) INCLUDE ([DataSys])",
                "CREATE STATISTICS [ST_Data] ON MovCliente ([DataSys])",
                "ALTER TABLE MovCliente ADD CONSTRAINT [DF_Data] DEFAULT (getdate()) FOR [DataSys]",
                "<commit>",
            }));
  EXPECT_EQ(outcome.detected_list, "Parvimar01;");
  EXPECT_EQ(outcome.failed_list, "");
}

TEST_F(KeepDependentsTest, FirstRecreationThatFailsStopsAndRollsBack) {
  Fleet("Parvimar01", TypicalDependents());
  driver_->FailExecute(
      "Parvimar01", "CREATE NONCLUSTERED INDEX [IX_Registo] ON MovCliente ([NumRegisto], [DataSys])",
      Error(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found."));

  app::FixedFieldsView view("srv01", "sa", "pw");
  const auto outcome = app::RunConversion(view, app::ConversionOptions{true});

  const auto trace = driver_->Trace("Parvimar01");
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2],
            "CREATE NONCLUSTERED INDEX [IX_Registo] ON MovCliente ([NumRegisto], [DataSys])");
  EXPECT_EQ(trace.back(), "<rollback>");
  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
}

TEST_F(KeepDependentsTest, CatalogueThatCannotBeReadChangesNothing) {
  Fleet("Parvimar01", Reply({}));
  driver_->FailExecute("Parvimar01", app::kDependentsQuery, Error(208, "Invalid object name 'sys.indexes'."));

  app::FixedFieldsView view("srv01", "sa", "pw");
  const auto outcome = app::RunConversion(view, app::ConversionOptions{true});

  EXPECT_EQ(driver_->Trace("Parvimar01"),
            (std::vector<std::string>{app::kTypeQuery, "<begin>", app::kDependentsQuery, "<rollback>"}));
  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
}

TEST_F(KeepDependentsTest, DryRunPredictsWithTheRecreations) {
  // The INCLUDE index makes the plain run fail; kept, it no longer does.
  Fleet("Parvimar01", TypicalDependents());
  driver_->OnExecute("Parvimar01", app::kHiddenIndexQuery, Reply({Table({"name"}, {{"IX_Cliente"}})}));
  std::vector<app::DatabasePlan> plans;
  app::FixedFieldsView view("srv01", "sa", "pw");

  app::PlanConversion(view, [&](const app::DatabasePlan& plan) { plans.push_back(plan); });
  app::PlanConversion(
      view, [&](const app::DatabasePlan& plan) { plans.push_back(plan); }, app::ConversionOptions{true});

  ASSERT_EQ(plans.size(), 2u);
  EXPECT_EQ(plans[0].prediction, app::DatabasePlan::Prediction::kWillFail);
  EXPECT_EQ(plans[1].prediction, app::DatabasePlan::Prediction::kWillConvert)
      << ::testing::PrintToString(plans[1].reasons);
  EXPECT_EQ(plans[1].statements.size(), 13u);
  EXPECT_EQ(plans[1].statements[2], app::kDependentsQuery);
  EXPECT_EQ(plans[1].statements.back(), "COMMIT TRANSACTION");
  for (const auto& statement : driver_->Statements("Parvimar01")) {
    EXPECT_TRUE(statement.rfind("select", 0) == 0 || statement.rfind("Select", 0) == 0 ||
                statement.rfind("sp_help", 0) == 0)
        << "the dry run sent " << statement;
  }
}

}  // namespace
