// The failure form "each step that fails is skipped and the next one runs",
// written once for the operations that work that way.
#pragma once

#include <exception>

namespace util_internal {

// Runs one step; a failure skips it and the next step still runs.
template <typename Step>
void Try(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace util_internal
