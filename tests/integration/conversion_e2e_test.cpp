// The conversion run end to end: the product's session layer over unixODBC and
// FreeTDS, against the stand-in or, when TAVINOR_TEST_SERVER names one, a real
// SQL Server. Each test asserts on the databases afterwards, not only on the
// messages.
#include <gtest/gtest.h>

#include "app/conversion_run.h"
#include "company_fleet.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"

namespace {

using e2e::CompanyDatabase;
using Boxes = std::vector<std::pair<std::string, int>>;

constexpr const char* kNoInconsistencies = "Processo Terminado!\rNão foram detectadas incosistências";

class FieldsView final : public app::ConversionView {
 public:
  FieldsView(std::string server, std::string login, std::string password)
      : server_(std::move(server)), login_(std::move(login)), password_(std::move(password)) {}
  std::string ServerText() override { return server_; }
  std::string LoginText() override { return login_; }
  std::string PasswordText() override { return password_; }
  void Refresh() override {}
  void SetProgressCaption(const std::string& caption) override { captions.push_back(caption); }
  std::vector<std::string> captions;

 private:
  std::string server_, login_, password_;
};

enum class Target { kStandin, kRealServer };

void PrintTo(Target target, std::ostream* out) {
  *out << (target == Target::kStandin ? "stand-in" : "real server");
}

class ConversionEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    backend_ = GetParam() == Target::kStandin ? e2e::MakeStandinBackend() : e2e::MakeRealServerBackend();
    if (!backend_) {
      GTEST_SKIP() << (GetParam() == Target::kStandin ? "the stand-in is not built"
                                                      : "TAVINOR_TEST_SERVER is not set");
    }
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
  }
  void TearDown() override { platform::SetUi(nullptr); }

  app::ConversionOutcome Run(const std::string& password_override = {}) {
    FieldsView view(backend_->Server(), backend_->Login(),
                    password_override.empty() ? backend_->Password() : password_override);
    auto outcome = app::RunConversion(view);
    captions_ = view.captions;
    return outcome;
  }
  Boxes Shown() const {
    Boxes boxes;
    for (const auto& box : ui_->boxes) boxes.emplace_back(box.text, box.style);
    return boxes;
  }
  void ExpectConverted(const std::string& database) {
    const auto state = backend_->State(database);
    EXPECT_EQ(state.datasys_type, "datetime") << database;
    EXPECT_EQ(state.indexes, (std::vector<std::string>{"IX_MovCliente_Cliente", "PK_MovCliente"}))
        << database;
    EXPECT_TRUE(state.statistics.empty()) << database;
    EXPECT_EQ(state.constraints, std::vector<std::string>{"PK_MovCliente"}) << database;
  }
  void ExpectUntouched(const std::string& database, const std::string& type,
                       std::vector<std::string> constraints = {"DF_MovCliente_DataSys", "PK_MovCliente"}) {
    const auto state = backend_->State(database);
    EXPECT_EQ(state.datasys_type, type) << database;
    EXPECT_EQ(state.indexes,
              (std::vector<std::string>{"IX_MovCliente_Cliente", "IX_MovCliente_Registo", "PK_MovCliente"}))
        << database;
    EXPECT_EQ(state.statistics, std::vector<std::string>{"ST_MovCliente_DataSys"}) << database;
    EXPECT_EQ(state.constraints, constraints) << database;
  }

  std::unique_ptr<e2e::Backend> backend_;
  std::shared_ptr<platform::RecordingUi> ui_;
  std::vector<std::string> captions_;
};

CompanyDatabase Company(std::string name, std::string type = "smalldatetime") {
  CompanyDatabase company;
  company.name = std::move(name);
  company.datasys_type = std::move(type);
  return company;
}

TEST_P(ConversionEndToEnd, NoMatchingDatabaseTouchesNothing) {
  backend_->Seed({});
  const auto outcome = Run();
  EXPECT_EQ(Shown(), (Boxes{{kNoInconsistencies, 64}}));
  EXPECT_TRUE(captions_.empty());
  EXPECT_EQ(backend_->State("OutraEmpresa").datasys_type, "smalldatetime");
  EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kCompleted);
}

TEST_P(ConversionEndToEnd, AllAlreadyConvertedChangesNothing) {
  backend_->Seed({Company("Parvimar01", "datetime"), Company("Parvimar02", "datetime")});
  Run();
  EXPECT_EQ(Shown(), (Boxes{{kNoInconsistencies, 64}}));
  EXPECT_EQ(captions_, (std::vector<std::string>{"Parvimar01", "Parvimar02"}));
  ExpectUntouched("Parvimar01", "datetime");
}

TEST_P(ConversionEndToEnd, SecondOfTwoFailsAndKeepsEverything) {
  auto bad = Company("Parvimar02", "nvarchar(20)");
  bad.datasys_values = {"2024-03-01 10:15:00", "ontem"};
  backend_->Seed({Company("Parvimar01"), bad});

  const auto outcome = Run();

  EXPECT_EQ(Shown(), (Boxes{{"Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: "
                             "Parvimar01;Parvimar02;",
                             64},
                            {"Não foi possível alterar as seguintes bases de dados: Parvimar02;", 16}}));
  ExpectConverted("Parvimar01");
  ExpectUntouched("Parvimar02", "nvarchar");
  EXPECT_EQ(backend_->State("OutraEmpresa").datasys_type, "smalldatetime");
  EXPECT_EQ(outcome.failed_list, "Parvimar02;");
}

TEST_P(ConversionEndToEnd, DataSysDefaultOnTheSecondConstraintRowIsKeptAndTheChangeFails) {
  auto company = Company("Parvimar01");
  company.datasys_default_first = false;
  backend_->Seed({company});

  const auto outcome = Run();

  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
  ExpectUntouched("Parvimar01", "smalldatetime",
                  {"DF_MovCliente_Cliente", "DF_MovCliente_DataSys", "PK_MovCliente"});
}

TEST_P(ConversionEndToEnd, MissingTableIsListedAsDetectedAndFailed) {
  backend_->Seed({Company("Parvimar01", "")});
  const auto outcome = Run();
  EXPECT_EQ(outcome.detected_list, "Parvimar01;");
  EXPECT_EQ(outcome.failed_list, "Parvimar01;");
  EXPECT_FALSE(backend_->State("Parvimar01").has_table);
}

TEST_P(ConversionEndToEnd, WrongPasswordShowsTheLoginError) {
  backend_->Seed({Company("Parvimar01")});

  const auto outcome = Run("not-the-password");

  EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kConnectionFailed);
  EXPECT_EQ(Shown(), (Boxes{{"18456\rLogin failed for user '" + backend_->Login() + "'.", 16}}));
  EXPECT_TRUE(ui_->pointer_history.empty());
  ExpectUntouched("Parvimar01", "smalldatetime");
}

TEST_P(ConversionEndToEnd, DatabaseThatCannotBeOpenedEndsTheRunAndKeepsEarlierChanges) {
  backend_->Seed({Company("Parvimar01"), Company("Parvimar02"), Company("Parvimar03")});
  backend_->TakeOffline("Parvimar02");

  const auto outcome = Run();

  EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kConnectionFailed);
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].style, 16);
  EXPECT_EQ(ui_->boxes[0].text.rfind("4060\rCannot open database \"Parvimar02\" requested by the login.", 0),
            0u)
      << ui_->boxes[0].text;
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
  ExpectConverted("Parvimar01");
  ExpectUntouched("Parvimar03", "smalldatetime");
}

INSTANTIATE_TEST_SUITE_P(Targets, ConversionEndToEnd,
                         ::testing::Values(Target::kStandin, Target::kRealServer), [](const auto& target) {
                           return target.param == Target::kStandin ? "Standin" : "RealServer";
                         });

}  // namespace
