#include "app/conversion_plan.h"

#include <gtest/gtest.h>

#include "app/conversion_statements.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;
using Prediction = app::DatabasePlan::Prediction;

class ConversionPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
  }
  void TearDown() override { platform::SetUi(nullptr); }

  // A database whose lists hold what `indexes`, `constraints` and `statistics` say.
  void Database(const std::string& name, std::vector<std::string> types,
                std::vector<std::vector<Variant>> indexes = {},
                std::vector<std::vector<Variant>> constraints = {},
                std::vector<std::vector<Variant>> statistics = {}) {
    databases_.push_back({Variant(name)});
    std::vector<std::vector<Variant>> type_rows;
    for (auto& type : types) type_rows.push_back({Variant(type)});
    driver_->OnExecute(name, app::kTypeQuery, Reply({Table({"name"}, std::move(type_rows))}));
    driver_->OnExecute(name, app::kIndexListQuery,
                       Reply({Table({"index_name", "index_description", "index_keys"}, std::move(indexes))}));
    driver_->OnExecute(
        name, app::kConstraintListQuery,
        Reply({Table({"Object Name"}, {{"MovCliente"}}),
               Table({"constraint_type", "constraint_name", "constraint_keys"}, std::move(constraints))}));
    driver_->OnExecute(name, app::kStatisticsListQuery,
                       Reply({Table({"statistics_name", "statistics_keys"}, std::move(statistics))}));
  }

  // Plans every database; `after_each` runs once each plan is in.
  std::vector<app::DatabasePlan> Plan(const app::RunControl* control = nullptr,
                                      const std::function<void()>& after_each = {}) {
    driver_->OnExecute("master", app::kDatabaseListQuery, Reply({Table({"name"}, databases_)}));
    std::vector<app::DatabasePlan> plans;
    app::FixedFieldsView view("srv", "sa", "pw");
    outcome_ = app::PlanConversion(
        view,
        [&](const app::DatabasePlan& plan) {
          plans.push_back(plan);
          if (after_each) after_each();
        },
        {}, control);
    return plans;
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
  std::vector<std::vector<Variant>> databases_;
  app::ConversionOutcome outcome_;
};

TEST_F(ConversionPlanTest, PredictsTheRunsFateFromTheListsAndSendsOnlyReads) {
  Database("ParvimarOk", {"smalldatetime"},
           {{"IX_Registo", "nonclustered located on PRIMARY", "NumRegisto, DataSys"},
            {"IX_Cliente", "nonclustered located on PRIMARY", "Cliente"}},
           {{"DEFAULT on column DataSys", "DF_DataSys", "(getdate())"}}, {{"Stat 1", "DataSys"}});
  Database("ParvimarAlias", {"DataHora", "datetime"});
  Database("ParvimarSemTabela", {});
  Database(
      "ParvimarDefault", {"smalldatetime"}, {},
      {{"DEFAULT on column Cliente", "DF_Cliente", "('')"}, {"DEFAULT on column DataSys", "DF_DataSys", ""}});
  Database("ParvimarChave", {"smalldatetime"},
           {{"PK_MovCliente", "clustered, unique, primary key located on PRIMARY", "NumRegisto, DataSys"}},
           {{"PRIMARY KEY (clustered)", "PK_MovCliente", "NumRegisto, DataSys"}});
  for (const char* name :
       {"ParvimarOk", "ParvimarAlias", "ParvimarSemTabela", "ParvimarDefault", "ParvimarChave"}) {
    driver_->FailExecute(name, app::kHiddenIndexQuery, Error(208, "Invalid object name 'sys.indexes'."));
  }

  const auto plans = Plan();

  ASSERT_EQ(plans.size(), 5u);
  EXPECT_EQ(plans[0].prediction, Prediction::kWillConvert);
  EXPECT_EQ(plans[0].statements,
            (std::vector<std::string>{app::kTypeQuery, "BEGIN TRANSACTION", app::kIndexListQuery,
                                      "Drop index MovCliente.IX_Registo", app::kConstraintListQuery,
                                      "Alter Table MovCliente Drop Constraint  DF_DataSys",
                                      app::kStatisticsListQuery, "drop statistics MovCliente.[Stat 1]",
                                      app::kAlterDataSys, "COMMIT TRANSACTION"}));
  EXPECT_EQ(plans[1].prediction, Prediction::kAlreadyConverted);
  EXPECT_EQ(plans[2].prediction, Prediction::kWillFail);
  EXPECT_EQ(plans[3].prediction, Prediction::kWillFail);
  ASSERT_EQ(plans[3].reasons.size(), 1u);
  EXPECT_NE(plans[3].reasons[0].find("DF_DataSys"), std::string::npos) << plans[3].reasons[0];
  EXPECT_EQ(plans[4].prediction, Prediction::kWillFail);
  EXPECT_EQ(plans[4].reasons.size(), 2u) << "the key's index cannot be dropped, and the key stays";
  // A check that could not be made is said, never taken as passed silently.
  EXPECT_FALSE(plans[0].findings.empty());
  EXPECT_EQ(outcome_.detected_list, "ParvimarOk;ParvimarSemTabela;ParvimarDefault;ParvimarChave;");
  EXPECT_EQ(outcome_.failed_list, "ParvimarSemTabela;ParvimarDefault;ParvimarChave;");
  EXPECT_TRUE(ui_->boxes.empty()) << "no closing message for a dry run";
  for (const auto& database : {"ParvimarOk", "ParvimarDefault", "ParvimarChave"}) {
    for (const auto& statement : driver_->Trace(database)) {
      const std::string lower = platform::Lower(statement);
      EXPECT_TRUE(lower.rfind("select", 0) == 0 || lower.rfind("sp_help", 0) == 0) << statement;
    }
  }
}

TEST_F(ConversionPlanTest, ValuesThatWillNotConvertAndHiddenIndexesFail) {
  Database("Parvimar01", {"nvarchar", "sysname"}, {}, {}, {});
  driver_->OnExecute("Parvimar01", app::kHiddenIndexQuery, Reply({Table({"name"}, {{"IX_Incluido"}})}));
  driver_->OnExecute("Parvimar01", app::kUnconvertibleCount, Reply({Table({"n"}, {{Variant(2)}})}));
  driver_->OnExecute("Parvimar01", app::kUnconvertibleExamples,
                     Reply({Table({"DataSys"}, {{"ontem"}, {"31/02/2024"}})}));

  const auto plans = Plan();

  ASSERT_EQ(plans.size(), 1u);
  EXPECT_EQ(plans[0].prediction, Prediction::kWillFail);
  EXPECT_EQ(plans[0].unconvertible_values, 2);
  EXPECT_EQ(plans[0].examples, (std::vector<std::string>{"ontem", "31/02/2024"}));
  ASSERT_EQ(plans[0].reasons.size(), 2u);
  EXPECT_NE(plans[0].reasons[0].find("IX_Incluido"), std::string::npos);
  EXPECT_NE(plans[0].reasons[1].find("'ontem' '31/02/2024'"), std::string::npos) << plans[0].reasons[1];
  EXPECT_TRUE(plans[0].findings.empty());
}

TEST_F(ConversionPlanTest, AStopPlansNoFurtherDatabase) {
  Database("Parvimar01", {"smalldatetime"});
  Database("Parvimar02", {"smalldatetime"});
  app::RunControl control;

  const auto plans = Plan(&control, [&] { control.RequestStop(); });

  ASSERT_EQ(plans.size(), 1u);
  EXPECT_TRUE(driver_->Trace("Parvimar02").empty());
  EXPECT_TRUE(outcome_.interrupted);
  EXPECT_EQ(outcome_.status, app::ConversionOutcome::Status::kCompleted);
  EXPECT_TRUE(ui_->boxes.empty()) << "neither a connection error nor a closing message";
  EXPECT_EQ(ui_->MousePointer(), platform::kPointerDefault);
}

}  // namespace
