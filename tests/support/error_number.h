// The error an action throws, for tests that name the expected failure.
#pragma once

#include <optional>

#include "platform/error.h"

namespace testsupport {

// Runs `action`; the platform::Error it throws, nothing when it throws none.
template <typename Action>
std::optional<platform::Error> Raised(Action&& action) {
  try {
    action();
  } catch (const platform::Error& error) {
    return error;
  }
  return std::nullopt;
}

// Runs `action`; the number of the platform::Error it throws, 0 when it throws none.
template <typename Action>
int ErrorNumber(Action&& action) {
  const std::optional<platform::Error> error = Raised(action);
  return error ? error->Number() : 0;
}

}  // namespace testsupport
