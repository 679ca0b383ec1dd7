// The runtime errors the utility operations raise themselves, with the texts the
// platform gives the same numbers, so callers that compare numbers or show texts see
// no difference between a failure raised here and one raised by the platform.
#pragma once

#include <cstdint>

#include "platform/error.h"

namespace util_internal {

[[noreturn]] inline void RaiseError(std::int32_t number) {
  switch (number) {
    case platform::kErrInvalidProcedureCall:
      throw platform::Error(number, "Invalid procedure call or argument");
    case platform::kErrOverflow:
      throw platform::Error(number, "Overflow");
    case platform::kErrSubscriptOutOfRange:
      throw platform::Error(number, "Subscript out of range");
    default:
      throw platform::Error(platform::kErrTypeMismatch, "Type mismatch");
  }
}

}  // namespace util_internal
