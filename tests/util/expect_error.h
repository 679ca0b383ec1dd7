// Checks that a call fails with a given platform error number.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/error.h"

template <typename F>
void ExpectError(std::int32_t number, F&& call) {
  try {
    call();
    ADD_FAILURE() << "expected error " << number;
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.Number(), number) << e.Description();
  }
}
