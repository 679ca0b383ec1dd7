// Handle owners, return-code checks and diagnostics of the ODBC driver.
#include "odbc/odbc_api.h"

#include <algorithm>
#include <string>
#include <vector>

#include "odbc/odbc_text.h"
#include "platform/driver.h"
#include "platform/text.h"

namespace platform::odbc {
namespace {

constexpr SQLINTEGER kLoginFailed = 18456;

}  // namespace

void HandleDeleter::operator()(SQLHANDLE handle) const noexcept {
  if (handle == SQL_NULL_HANDLE) return;
  // Disconnecting a connection that never connected fails harmlessly (08003).
  if (type == SQL_HANDLE_DBC) SQLDisconnect(handle);
  SQLFreeHandle(type, handle);
}

Handle AllocHandle(SQLSMALLINT type, SQLHANDLE parent) {
  SQLHANDLE raw = SQL_NULL_HANDLE;
  const SQLRETURN rc = SQLAllocHandle(type, parent, &raw);
  // Owned before the check, so that a failed call still frees what it got.
  Handle handle(raw, HandleDeleter{type});
  if (!SQL_SUCCEEDED(rc)) {
    if (parent != SQL_NULL_HANDLE) {
      const SQLSMALLINT parent_type = type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV : SQL_HANDLE_DBC;
      throw ErrorFrom(ReadDiagnostics(parent_type, parent));
    }
    throw Error(kErrUnspecified, "The ODBC environment could not be created.", "HY001");
  }
  return handle;
}

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> records;
  // Read only as many records as the driver says it holds: with unixODBC some
  // drivers misbehave when asked for records past the last one.
  SQLINTEGER count = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagField(type, handle, 0, SQL_DIAG_NUMBER, &count, 0, nullptr))) return records;
  for (SQLSMALLINT record = 1; record <= count && record <= 64; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> text(1024);
    SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, record, state, &native, text.data(),
                          static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::size_t chars =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), text.size());
    records.push_back({Narrow(state, 5), native, StripDiagnosticPrefixes(Narrow(text.data(), chars))});
  }
  return records;
}

Error ErrorFrom(const std::vector<Diagnostic>& diagnostics) {
  const auto is_error = [](const Diagnostic& record) {
    return record.sqlstate.rfind("01", 0) != 0;  // not a warning or server information
  };
  const auto first = std::find_if(diagnostics.begin(), diagnostics.end(), is_error);
  if (first != diagnostics.end()) {
    auto chosen = first;
    // SQL Server follows the reason a login was refused ("Cannot open database
    // ...", 4060) with the generic 18456 "Login failed", and the driver ranks the
    // latter first; the reason is what the user needs to see. In the same way the
    // driver opens a failed connect with a bare "Unable to connect to data
    // source" (no number) before the record that says why ("Unknown host machine
    // name.", 20013), which it files as information (01000); the failure keeps the
    // first record's state.
    if (chosen->native == 0) {
      const auto numbered = std::find_if(diagnostics.begin(), diagnostics.end(),
                                         [](const Diagnostic& record) { return record.native != 0; });
      if (numbered != diagnostics.end()) return Error(numbered->native, numbered->text, chosen->sqlstate);
    }
    if (chosen->native == kLoginFailed) {
      const auto reason = std::find_if(diagnostics.begin(), diagnostics.end(), [&](const Diagnostic& record) {
        return is_error(record) && record.native > 0 && record.native != kLoginFailed;
      });
      if (reason != diagnostics.end()) chosen = reason;
    }
    return Error(DriverErrorNumber(chosen->native, chosen->sqlstate), chosen->text, chosen->sqlstate);
  }
  if (!diagnostics.empty()) {
    const Diagnostic& record = diagnostics.front();
    return Error(DriverErrorNumber(record.native, record.sqlstate), record.text, record.sqlstate);
  }
  return Error(kErrUnspecified, "The ODBC driver reported a failure without a diagnostic.", "HY000");
}

SQLRETURN Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::vector<std::string>* messages) {
  if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return rc;
  if (rc == SQL_SUCCESS_WITH_INFO) {
    if (messages != nullptr) {
      for (Diagnostic& record : ReadDiagnostics(type, handle)) {
        // Truncation notes (01004) belong to reading values, not to the server.
        if (record.sqlstate != "01004") messages->push_back(std::move(record.text));
      }
    }
    return rc;
  }
  if (rc == SQL_INVALID_HANDLE) throw Error(kErrUnspecified, "Invalid ODBC handle.", "HY000");
  throw ErrorFrom(ReadDiagnostics(type, handle));
}

std::vector<SQLWCHAR> Wide(const std::string& text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  std::vector<SQLWCHAR> wide(utf16.begin(), utf16.end());
  wide.push_back(0);
  return wide;
}

std::string Narrow(const SQLWCHAR* text, std::size_t length) {
  std::u16string utf16;
  utf16.reserve(length);
  for (std::size_t i = 0; i < length && text[i] != 0; ++i) utf16 += static_cast<char16_t>(text[i]);
  return Utf16ToUtf8(utf16);
}

}  // namespace platform::odbc
