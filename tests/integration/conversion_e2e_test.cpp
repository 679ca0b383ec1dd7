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

using e2e::Target;

class ConversionEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    backend_ = GetParam() == Target::kStandin ? e2e::MakeStandinBackend() : e2e::MakeRealServerBackend();
    if (!backend_) {
      GTEST_SKIP() << e2e::NoBackendReason(GetParam());
    }
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
  }
  void TearDown() override { platform::SetUi(nullptr); }

  // Runs as the backend's administrator unless another login or password is given.
  app::ConversionOutcome Run(const std::string& password_override = {},
                             const std::string& login_override = {}) {
    captions_.clear();
    app::FixedFieldsView view(backend_->Server(), login_override.empty() ? backend_->Login() : login_override,
                              password_override.empty() ? backend_->Password() : password_override,
                              [this](const std::string& caption) { captions_.push_back(caption); });
    return app::RunConversion(view);
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

TEST_P(ConversionEndToEnd, TypedNamesAndPasswordsReachTheServerAsTyped) {
  // Logins, passwords and database names as an operator may type them: braces,
  // separators, quotes, "=", spaces at the ends and letters outside ASCII.
  const e2e::TestLogin logins[] = {
      {"operador", "Pa;ss}wo'rd", ""},
      {"Zé }{;='x", " {x}=\"é ", ""},
      {"o'neil", "a;b{c ç", ""},
  };
  for (const auto& login : logins) backend_->AddLogin(login);
  backend_->Seed({Company("Parvimar}Z"), Company("Parvimar {';=\"ç}")});

  for (const auto& login : logins) {
    SCOPED_TRACE(login.name);
    ui_->boxes.clear();
    const auto outcome = Run(login.password, login.name);
    EXPECT_EQ(outcome.status, app::ConversionOutcome::Status::kCompleted);
    EXPECT_EQ(captions_, (std::vector<std::string>{"Parvimar}Z", "Parvimar {';=\"ç}"}));
    for (const auto& [text, style] : Shown()) EXPECT_NE(style, 16) << text;
    EXPECT_EQ(outcome.failed_list, "");
  }
  ExpectConverted("Parvimar}Z");
  ExpectConverted("Parvimar {';=\"ç}");
}

TEST_P(ConversionEndToEnd, PasswordTheDriverCannotCarryIsRefusedBeforeConnecting) {
  // FreeTDS before 1.4 cannot receive "};" inside a value; a newer one can.
  backend_->AddLogin({"operador", "a};b", ""});
  backend_->Seed({Company("Parvimar01")});

  const auto outcome = Run("a};b", "operador");

  if (outcome.status == app::ConversionOutcome::Status::kCompleted) {
    ExpectConverted("Parvimar01");
  } else {
    EXPECT_EQ(Shown(),
              (Boxes{{"3001\rThe password holds \"};\", which the installed ODBC driver cannot receive; "
                      "nothing was sent. A newer FreeTDS driver (1.4 or later) accepts it.",
                      16}}));
    ExpectUntouched("Parvimar01", "smalldatetime");
  }
}

TEST_P(ConversionEndToEnd, TextDatesAreReadInTheLoginsOwnLanguage) {
  // Day first for a Portuguese login, whatever language the driver would name.
  backend_->AddLogin({"operador_pt", "Operador#1", "Português"});
  auto company = Company("Parvimar01", "nvarchar(20)");
  company.datasys_values = {"03/04/2024", "13/04/2024"};
  backend_->Seed({company});

  const auto outcome = Run("Operador#1", "operador_pt");

  EXPECT_EQ(outcome.failed_list, "");
  const auto state = backend_->State("Parvimar01");
  EXPECT_EQ(state.datasys_type, "datetime");
  EXPECT_EQ(state.datasys_values, (std::vector<std::string>{"2024-04-03 00:00:00", "2024-04-13 00:00:00"}));
}

TEST_P(ConversionEndToEnd, IrregularIndexNamesAndCaseSensitiveDatabasesConvert) {
  auto irregular = Company("Parvimar01");
  irregular.registo_index = "NonClusteredIndex-20240105-093000";
  auto sensitive = Company("Parvimar02");
  sensitive.case_sensitive = true;
  backend_->Seed({irregular, sensitive});

  const auto outcome = Run();

  EXPECT_EQ(outcome.detected_list, "Parvimar01;Parvimar02;");
  EXPECT_EQ(outcome.failed_list, "");
  ExpectConverted("Parvimar01");
  ExpectConverted("Parvimar02");
}

TEST_P(ConversionEndToEnd, DatetimeColumnBesideAnAliasTypeIsLeftAlone) {
  // The type query also names the alias type built on datetime.
  auto company = Company("Parvimar01", "datetime");
  company.datetime_aliases = {"DataHora"};
  backend_->Seed({company});

  Run();

  EXPECT_EQ(Shown(), (Boxes{{kNoInconsistencies, 64}}));
  ExpectUntouched("Parvimar01", "datetime");
}

INSTANTIATE_TEST_SUITE_P(Targets, ConversionEndToEnd, e2e::kTargets, e2e::TargetName);

}  // namespace
