// Shared by the utility tests: checking a failure's error number, and recording the
// message boxes an operation shows.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/error.h"
#include "platform/ui_services.h"

template <typename F>
void ExpectError(std::int32_t number, F&& call) {
  try {
    call();
    ADD_FAILURE() << "expected error " << number;
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.Number(), number) << e.Description();
  }
}

// Installs a recording UI for the test and restores the default one after it.
class RecordingUiTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetUi(ui_); }
  void TearDown() override { platform::SetUi(nullptr); }
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
};
