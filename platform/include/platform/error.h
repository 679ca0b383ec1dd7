// The one error type of the system: a failure that reaches the caller carries the
// error number and text, and for server errors the ODBC SQLSTATE as well.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/error_numbers.h"

namespace platform {

// Throws Error(number) with the classic runtime's text for its own numbers
// (kErrInvalidProcedureCall, kErrOverflow, kErrSubscriptOutOfRange, kErrTypeMismatch,
// kErrInvalidUseOfNull, kErrObjectRequired, kErrFileNotFound, kErrPathFileAccess,
// kErrInvalidPicture); any other number gets the runtime's
// "Application-defined or object-defined error".
[[noreturn]] void RaiseError(std::int32_t number);

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string description, std::string sqlstate = {})
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        sqlstate_(std::move(sqlstate)) {}

  // The error number: SQL Server's own number for server errors, the driver's for
  // driver failures, or one of the kErr constants of error_numbers.h.
  [[nodiscard]] std::int32_t Number() const noexcept { return number_; }
  // The error text as a user should read it.
  [[nodiscard]] const std::string& Description() const noexcept { return description_; }
  // The five-character ODBC state, empty when the failure did not come from ODBC.
  [[nodiscard]] const std::string& SqlState() const noexcept { return sqlstate_; }

 private:
  std::int32_t number_;
  std::string description_;
  std::string sqlstate_;
};

}  // namespace platform
