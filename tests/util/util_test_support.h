// Shared by the utility tests: the error-number helper, and recording the message
// boxes an operation shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "error_number.h"
#include "platform/ui_services.h"

using testsupport::ErrorNumber;

// Installs a recording UI for the test and restores the default one after it.
class RecordingUiTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(ui_); }
  void TearDown() override { platform::SetUi(nullptr); }
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
};
