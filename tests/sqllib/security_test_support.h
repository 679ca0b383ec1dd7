// Shared by the login, role and user tests: a scripted server, recorded message
// boxes and pointer changes, and the library's login set to "app" on "srv".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

class SecurityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetUi(ui_);
    gServer = "srv";
    gUID = "app";
    gPwd = "pw";
    gIntegratedSecurity = false;
    gIsSysAdmin = false;
  }
  void TearDown() override {
    platform::SetUi(nullptr);
    gServer.clear();
    gUID.clear();
    gPwd.clear();
    gIntegratedSecurity = false;
    gIsSysAdmin = false;
  }

  // sp_helpsrvrolemember 'sysadmin' lists `members` on `driver`.
  static void SysAdmins(testsupport::ScriptedDriver& driver, const std::vector<std::string>& members) {
    std::vector<std::vector<platform::Variant>> rows;
    for (const auto& m : members) rows.push_back({platform::Variant("sysadmin"), platform::Variant(m), {}});
    driver.OnExecute(
        "master", "sp_helpsrvrolemember 'sysadmin'",
        testsupport::Reply({testsupport::Table({"ServerRole", "MemberName", "MemberSID"}, rows)}));
  }
  // Every box's text, in order.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_->boxes) texts.push_back(box.text);
    return texts;
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
  CSql& csql_ = SharedCSql();
};
