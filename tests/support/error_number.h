// The number of the platform::Error an action throws, for tests that name the
// expected failure.
#pragma once

#include "platform/error.h"

namespace testsupport {

// Runs `action`; the number of the platform::Error it throws, 0 when it throws none.
template <typename Action>
int ErrorNumber(Action&& action) {
  try {
    action();
  } catch (const platform::Error& error) {
    return error.Number();
  }
  return 0;
}

}  // namespace testsupport
