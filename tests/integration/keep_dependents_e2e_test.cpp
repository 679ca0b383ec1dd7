// The conversion run keeping the dependents of DataSys, end to end against the
// stand-in or, when TAVINOR_TEST_SERVER names one, a real SQL Server: each
// database ends with the new type and every index, statistic and constraint as
// it was, or, when one cannot be created again, exactly as it started.
#include <gtest/gtest.h>

#include "app/conversion_run.h"
#include "company_fleet.h"
#include "platform/ui_services.h"

namespace {

using e2e::CompanyDatabase;
using e2e::Target;

class KeepDependentsEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    backend_ = GetParam() == Target::kStandin ? e2e::MakeStandinBackend() : e2e::MakeRealServerBackend();
    if (!backend_) GTEST_SKIP() << e2e::NoBackendReason(GetParam());
    platform::SetUi(std::make_shared<platform::RecordingUi>());
  }
  void TearDown() override { platform::SetUi(nullptr); }

  app::ConversionOutcome Run() {
    app::FixedFieldsView view(backend_->Server(), backend_->Login(), backend_->Password());
    return app::RunConversion(view, app::ConversionOptions{true});
  }

  std::unique_ptr<e2e::Backend> backend_;
};

CompanyDatabase Company(std::string name, std::string type = "smalldatetime") {
  CompanyDatabase company;
  company.name = std::move(name);
  company.datasys_type = std::move(type);
  return company;
}

TEST_P(KeepDependentsEndToEnd, EveryDatabaseEndsWithTheNewTypeAndEverythingElseAsItWas) {
  // The classic run fails on the last three: the default in the second
  // constraint row, and dependents its lists do not show.
  auto text_dates = Company("Parvimar02", "nvarchar(20)");
  text_dates.datasys_values = {"2024-03-01 10:15:00", "20240302"};
  auto second_row = Company("Parvimar03");
  second_row.datasys_default_first = false;
  auto hidden = Company("Parvimar04");
  hidden.hidden_dependents = true;
  auto hidden_text = Company("Parvimar05", "nvarchar(20)");
  hidden_text.hidden_dependents = true;
  hidden_text.datasys_values = {"2024-01-05 09:30:00", "20240211 08:00:00"};
  const std::vector<CompanyDatabase> companies = {
      Company("Parvimar01"), text_dates, second_row, hidden, hidden_text, Company("Parvimar06", "datetime")};
  backend_->Seed(companies);
  std::vector<e2e::TableState> before;
  for (const auto& company : companies) before.push_back(backend_->State(company.name));

  const auto outcome = Run();

  EXPECT_EQ(outcome.detected_list, "Parvimar01;Parvimar02;Parvimar03;Parvimar04;Parvimar05;");
  EXPECT_EQ(outcome.failed_list, "");
  for (std::size_t i = 0; i < companies.size(); ++i) {
    SCOPED_TRACE(companies[i].name);
    const auto after = backend_->State(companies[i].name);
    EXPECT_EQ(after.datasys_type, "datetime");
    EXPECT_EQ(after.definitions, before[i].definitions);
    EXPECT_EQ(after.statistics, before[i].statistics);
  }
  EXPECT_EQ(backend_->State("Parvimar02").datasys_values,
            (std::vector<std::string>{"2024-03-01 10:15:00", "2024-03-02 00:00:00"}));
}

TEST_P(KeepDependentsEndToEnd, DependentThatCannotBeCreatedAgainRollsTheDatabaseBack) {
  // Two texts that name the same day: distinct as text, duplicates as dates, so
  // the unique index on DataSys cannot be built again after the change.
  auto duplicates = Company("Parvimar01", "nvarchar(20)");
  duplicates.datasys_values = {"2024-03-02", "20240302"};
  duplicates.unique_datasys = true;
  backend_->Seed({duplicates, Company("Parvimar02")});
  const auto before = backend_->State("Parvimar01");

  const auto outcome = Run();

  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
  const auto after = backend_->State("Parvimar01");
  EXPECT_EQ(after.datasys_type, "nvarchar");
  EXPECT_EQ(after.definitions, before.definitions);
  EXPECT_EQ(after.datasys_values, before.datasys_values);
  EXPECT_EQ(backend_->State("Parvimar02").datasys_type, "datetime") << "the next database still converts";
}

INSTANTIATE_TEST_SUITE_P(Targets, KeepDependentsEndToEnd, e2e::kTargets, e2e::TargetName);

}  // namespace
