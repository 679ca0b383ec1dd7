// The library's one way of handing a failure back through an operation's error
// number and text out-parameters.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/error.h"

namespace csql {

// Runs `step`; true when it ends normally. When it throws, its number and text
// (kErrUnspecified and the message for an exception that is not a platform
// error) go to `error_code` and `error_text`, and the result is false.
template <typename Step>
bool ReportingFailure(Step&& step, std::int32_t& error_code, std::string& error_text) {
  try {
    step();
    return true;
  } catch (const platform::Error& error) {
    error_code = error.Number();
    error_text = error.Description();
  } catch (const std::exception& error) {
    error_code = platform::kErrUnspecified;
    error_text = error.what();
  }
  return false;
}

}  // namespace csql
