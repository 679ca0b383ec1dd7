// The ODBC calls of the driver: handle owners and the one place where return codes
// are checked and diagnostics turned into platform::Error.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"

namespace platform::odbc {

struct HandleDeleter {
  SQLSMALLINT type;
  void operator()(SQLHANDLE handle) const noexcept;
};
// Owns one ODBC handle; the deleter frees it (a connection handle is disconnected
// first if it is still connected).
using Handle = std::unique_ptr<void, HandleDeleter>;

// Allocates a handle of `type` under `parent` (SQL_NULL_HANDLE for the environment);
// throws Error on failure.
Handle AllocHandle(SQLSMALLINT type, SQLHANDLE parent);

// One diagnostic record, its text with the driver's prefixes removed.
struct Diagnostic {
  std::string sqlstate;
  std::int32_t native = 0;
  std::string text;
};

// Every diagnostic record of `handle`, in the order the driver ranks them.
std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// The error to raise for the diagnostics of a failed call: the first record that is
// not a warning, or a generic failure when the driver left none.
Error ErrorFrom(const std::vector<Diagnostic>& diagnostics);

// Checks the return code of an ODBC call made on `handle`. SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO and SQL_NO_DATA return normally (the caller looks at the
// code); anything else throws the call's error. With `messages`, the texts of the
// information records of a SQL_SUCCESS_WITH_INFO are appended to it.
SQLRETURN Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle,
                std::vector<std::string>* messages = nullptr);

// UTF-16 text in the form the wide calls take.
std::vector<SQLWCHAR> Wide(const std::string& text);
std::string Narrow(const SQLWCHAR* text, std::size_t length);

}  // namespace platform::odbc
