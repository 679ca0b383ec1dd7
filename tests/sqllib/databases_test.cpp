#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

class CSqlDatabasesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    gServer = "srv";
    gErrCode = 0;
    gErrDescription.clear();
  }
  void TearDown() override {
    platform::SetUi(nullptr);
    gServer.clear();
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
  CSql& sql_ = SharedCSql();
};

TEST_F(CSqlDatabasesTest, DeleteChecksTheConfigurationThenDropsThenDeletesTheRow) {
  EXPECT_TRUE(sql_.DeleteDatabase("Parvimar01, Parvimar02", "0'1"));
  EXPECT_EQ(driver_->Statements("master"),
            (std::vector<std::string>{"use quindorconfig", "select codigo from empresas where codigo='0''1'",
                                      "use master", "drop database [Parvimar01, Parvimar02]",
                                      "use quindorconfig", "delete from empresas where codigo='0''1'"}));
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));

  EXPECT_TRUE(sql_.DeleteDatabase("Parvimar03"));
  EXPECT_EQ(driver_->Statements("master").back(), "drop database Parvimar03") << "no code, no configuration";
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(CSqlDatabasesTest, DeleteStopsAtTheFirstFailureAndShowsIt) {
  struct Case {
    const char* failing;
    Error error;
    const char* last_sent;
  } cases[] = {
      {"use quindorconfig", Error(911, "Database 'quindorconfig' does not exist."), "use quindorconfig"},
      {"drop database Parvimar01",
       Error(3702, "Cannot drop database \"Parvimar01\" because it is currently in use."),
       "drop database Parvimar01"},
  };
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver driver;
    ui_->boxes.clear();
    driver->FailExecute("master", c.failing, c.error);
    EXPECT_FALSE(sql_.DeleteDatabase("Parvimar01", "01")) << c.failing;
    EXPECT_EQ(driver->Statements("master").back(), c.last_sent);
    ASSERT_EQ(ui_->boxes.size(), 1U);
    EXPECT_EQ(ui_->boxes[0].text, std::to_string(c.error.Number()) + "\r" + c.error.Description());
    EXPECT_EQ(ui_->MousePointer(), platform::kPointerDefault);
    EXPECT_EQ(driver->OpenSessions(), 0);
  }
}

TEST_F(CSqlDatabasesTest, UnreachableServer) {
  driver_->FailConnect("master", Error(-2147467259, "Unable to connect to data source"));
  bool unknown = false;
  EXPECT_FALSE(sql_.CheckDatabase("Parvimar01", unknown));
  EXPECT_TRUE(unknown);
  EXPECT_FALSE(sql_.DeleteDatabase("Parvimar01", "01"));
  ASSERT_EQ(ui_->boxes.size(), 1U) << "one box, from the last-error pair";
  EXPECT_EQ(ui_->boxes[0].text, "-2147467259\rUnable to connect to data source");
  EXPECT_EQ(gErrCode, -2147467259);
}

TEST_F(CSqlDatabasesTest, CheckDatabaseLetsTheServerUpperCaseBothNames) {
  driver_->OnExecute("master", "Select Name from SysDataBases Where upper(Name)=upper(N'Gestão')",
                     Reply({Table({"Name"}, {{Variant("GESTÃO")}})}));
  driver_->OnExecute("master", "Select Name from SysDataBases Where upper(Name)=upper('Outra')",
                     Reply({Table({"Name"}, {})}));
  bool unknown = true;
  EXPECT_TRUE(sql_.CheckDatabase("Gestão", unknown));
  EXPECT_TRUE(unknown) << "kept when the database exists";
  EXPECT_FALSE(sql_.CheckDatabase("Outra", unknown));
  EXPECT_FALSE(unknown);
}

}  // namespace
