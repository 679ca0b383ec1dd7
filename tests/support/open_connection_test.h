// A test fixture for library operations on a caller's connection: the scripted
// driver, a recording UI, and a connection open on database "db".
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/session.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"

namespace testsupport {

class OpenConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetUi(ui_);
    conn_.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv");
  }
  void TearDown() override { platform::SetUi(nullptr); }

  ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
  platform::Connection conn_;
};

}  // namespace testsupport
