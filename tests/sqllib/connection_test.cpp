#include <gtest/gtest.h>

#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using testsupport::Reply;
using testsupport::Table;

class CSqlConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    gIntegratedSecurity = false;
    gServer = "srv";
    gUID = "app";
    gPwd = "pw";
  }
  void TearDown() override {
    platform::SetUi(nullptr);
    gServer.clear();
    gUID.clear();
    gPwd.clear();
    gIntegratedSecurity = false;
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
  std::int32_t code_ = 77;
  std::string text_ = "earlier";
};

TEST_F(CSqlConnectionTest, SqlLoginFormCarriesLoginAndHandsThePasswordSeparately) {
  platform::Connection connection;
  ASSERT_TRUE(SharedCSql().CreateDBConnection(connection, "srv\\inst", "Parvimar01", "sa", "s3gr;edo", 30,
                                              code_, text_, 0));
  EXPECT_EQ(connection.ConnectionString(),
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=Parvimar01;Data "
            "Source=srv\\inst");
  EXPECT_EQ(connection.CommandTimeout(), 30);
  EXPECT_EQ(connection.ConnectionTimeout(), 30);
  EXPECT_EQ(connection.State(), platform::kStateOpen);
  const auto& request = driver_->Requests().at(0);
  EXPECT_EQ(request.password, "s3gr;edo");
  EXPECT_FALSE(request.integrated_security);
  EXPECT_EQ(code_, 77) << "success keeps what the out-parameters held";
  EXPECT_EQ(text_, "earlier");
}

TEST_F(CSqlConnectionTest, TipoAutChoosesTheForm) {
  struct Case {
    std::int16_t tipo_aut;
    bool integrated_global;
    bool integrated_expected;
  } cases[] = {{0, false, false}, {0, true, true}, {1, true, false}, {2, false, true}, {-1, false, true}};
  for (const auto& c : cases) {
    gIntegratedSecurity = c.integrated_global;
    platform::Connection connection;
    ASSERT_TRUE(
        SharedCSql().CreateDBConnection(connection, "srv", "db", "sa", "pw", 5, code_, text_, c.tipo_aut));
    const std::string expected =
        c.integrated_expected
            ? "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial "
              "Catalog=db;Data "
              "Source=srv"
            : "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=db;Data Source=srv";
    EXPECT_EQ(connection.ConnectionString(), expected) << "TipoAut " << c.tipo_aut;
    EXPECT_EQ(driver_->Requests().back().integrated_security, c.integrated_expected)
        << "TipoAut " << c.tipo_aut;
    EXPECT_EQ(driver_->Requests().back().password, "pw") << "the password still goes to the open call";
  }
}

TEST_F(CSqlConnectionTest, ConnectionStringSyntaxInNamesStaysOneValue) {
  platform::Connection connection;
  ASSERT_TRUE(SharedCSql().CreateDBConnection(connection, "srv;Initial Catalog=master", "Parvimar\"01;x",
                                              "o'neil", "pw", 5, code_, text_, 1));
  const auto& request = driver_->Requests().at(0);
  EXPECT_EQ(request.server, "srv;Initial Catalog=master");
  EXPECT_EQ(request.database, "Parvimar\"01;x");
  EXPECT_EQ(request.login, "o'neil");
}

TEST_F(CSqlConnectionTest, FailureFillsTheOutParametersAndShowsNothing) {
  driver_->FailConnect("master", Error(18456, "Login failed for user 'sa'.", "28000"));
  platform::Connection connection;
  EXPECT_FALSE(SharedCSql().CreateDBConnection(connection, "srv", "master", "sa", "bad", 5, code_, text_));
  EXPECT_EQ(code_, 18456);
  EXPECT_EQ(text_, "Login failed for user 'sa'.");
  EXPECT_EQ(connection.State(), platform::kStateClosed);
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(CSqlConnectionTest, AlreadyOpenConnectionIsRefusedAndLeftOpen) {
  platform::Connection connection;
  ASSERT_TRUE(SharedCSql().CreateDBConnection(connection, "srv", "db1", "sa", "pw", 5, code_, text_));
  EXPECT_FALSE(SharedCSql().CreateDBConnection(connection, "srv", "db2", "sa", "pw", 5, code_, text_));
  EXPECT_EQ(code_, platform::kErrObjectOpen);
  EXPECT_EQ(connection.State(), platform::kStateOpen);
  EXPECT_EQ(driver_->Requests().size(), 1u);
}

TEST_F(CSqlConnectionTest, ExecutaSqlReturnsAReadableResult) {
  driver_->OnExecute("Parvimar01", "select name from empresas",
                     Reply({Table({"name"}, {{"Alfa"}, {"Beta"}})}));
  auto result = SharedCSql().ExecutaSQL("Parvimar01", "select name from empresas");
  ASSERT_TRUE(result.has_value());
  ASSERT_EQ(result->State(), platform::kStateOpen);
  EXPECT_EQ(result->Value("NAME").ToString(), "Alfa");
  result->MoveNext();
  EXPECT_EQ(result->Value("name").ToString(), "Beta");
  const auto& request = driver_->Requests().at(0);
  EXPECT_EQ(request.server, "srv");
  EXPECT_EQ(request.login, "app");
  EXPECT_EQ(request.password, "pw");
  EXPECT_EQ(request.login_timeout_seconds, 600);
  result.reset();
  EXPECT_EQ(driver_->OpenSessions(), 0) << "the session ends with the last reference to the result";
}

TEST_F(CSqlConnectionTest, ExecutaSqlForEffectClosesItsConnection) {
  auto result = SharedCSql().ExecutaSQL("db", "update t set a = 1");
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->State(), platform::kStateClosed);
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(CSqlConnectionTest, ExecutaSqlFailureShowsNumberAndText) {
  driver_->FailExecute("db", "select * from nada", Error(208, "Invalid object name 'nada'.", "42S02"));
  EXPECT_FALSE(SharedCSql().ExecutaSQL("db", "select * from nada").has_value());
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "208\rInvalid object name 'nada'.");
  EXPECT_EQ(ui_->boxes[0].style, 16);
  EXPECT_EQ(ui_->boxes[0].title, "Tavinor");
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(CSqlConnectionTest, ExecutaSqlConnectionFailureIsSilent) {
  driver_->FailConnect("db",
                       Error(4060, "Cannot open database \"db\" requested by the login. The login failed."));
  EXPECT_FALSE(SharedCSql().ExecutaSQL("db", "select 1").has_value());
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(CSqlConnectionTest, SqlChangeFieldSendsOneStatementAndReportsOnlySuccess) {
  platform::Connection connection;
  ASSERT_TRUE(SharedCSql().CreateDBConnection(connection, "srv", "Parvimar01", "sa", "pw", 5, code_, text_));
  EXPECT_TRUE(SharedCSql().SQLChangeField(connection, "MovCliente", "DataSys", "datetime null").ToBool());
  EXPECT_TRUE(SharedCSql().SQLChangeField(connection, "T", "C").ToBool());
  // An irregular name stays one name; a qualified one keeps its meaning.
  SharedCSql().SQLChangeField(connection, "dbo.Mov Cliente", "Data'; drop table T --", "datetime null");
  driver_->FailExecute("*", " alter table MovCliente ALTER COLUMN DataSys datetime null",
                       Error(5074, "The index 'IX' is dependent on column 'DataSys'."));
  const platform::Variant refused =
      SharedCSql().SQLChangeField(connection, "MovCliente", "DataSys", "datetime null");
  EXPECT_EQ(refused.Type(), platform::VarType::kBoolean);
  EXPECT_FALSE(refused.ToBool());
  EXPECT_EQ(driver_->Statements("Parvimar01"),
            (std::vector<std::string>{" alter table MovCliente ALTER COLUMN DataSys datetime null",
                                      " alter table T ALTER COLUMN C nvarchar (10) null",
                                      " alter table dbo.[Mov Cliente] ALTER COLUMN [Data'; drop table T --] "
                                      "datetime null",
                                      " alter table MovCliente ALTER COLUMN DataSys datetime null"}));
  EXPECT_TRUE(ui_->boxes.empty());
  connection.Close();
  EXPECT_FALSE(SharedCSql().SQLChangeField(connection, "MovCliente", "DataSys", "datetime null").ToBool())
      << "a closed connection is a failure";
}

}  // namespace
