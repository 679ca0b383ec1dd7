// What the login, role and user operations share: their own connection with the
// program-wide settings, the busy pointer, the fixed role tables, and the rule
// that keeps passwords out of every message.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/session.h"

namespace csql::security {

// Opens `conn` on `database` with gServer, gUID and gPwd, time-out 600 seconds,
// TipoAut 0. The error of a failed open goes to `error_number` and `error_text`
// when given; the connection then stays closed.
bool OpenLibraryConnection(platform::Connection& conn, const std::string& database,
                           std::int32_t* error_number = nullptr, std::string* error_text = nullptr);

// Server answers that mean the work was done already: the user exists (15023),
// the login has a user under another name (15063), the user or login to remove is
// not there (15008 and 15007 from the procedures, 15151 from the DROP USER or DROP
// LOGIN behind them on 2005 and later).
inline constexpr std::int32_t kErrNoSuchLogin = 15007;
inline constexpr std::int32_t kErrNoSuchUser = 15008;
inline constexpr std::int32_t kErrUserExists = 15023;
inline constexpr std::int32_t kErrLoginHasUser = 15063;
inline constexpr std::int32_t kErrCannotDropMissing = 15151;

// Runs `statement` on `conn`; true when it ran or failed with one of `already_so`.
bool RunAllowing(platform::Connection& conn, const std::string& statement,
                 std::initializer_list<std::int32_t> already_so);

// Closes `conn` when it is open; a failure to close is of no interest here.
void CloseQuietly(platform::Connection& conn);

// The hourglass for the lifetime of the guard, the default pointer afterwards.
class BusyPointer {
 public:
  BusyPointer();
  ~BusyPointer();
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
  // Back to the default pointer before the guard ends (idempotent).
  void Off();

 private:
  bool on_ = true;
};

// Fixed server role by index 0 to 6, fixed database role by index 0 to 8; an
// index outside the table gives "".
std::string ServerRoleName(std::int32_t index);
std::string DatabaseRoleName(std::int32_t index);

// The number and text of a caught failure; a failure without a number gets
// kErrUnspecified and its message.
struct Failure {
  std::int32_t number;
  std::string text;
};
Failure Describe(const std::exception& failure);

// `text` with every occurrence of each secret (as given, trimmed, and with its
// apostrophes doubled as it stood in the statement) replaced by asterisks. Server
// messages may quote the statement they refused; a password must never reach a
// message box, the terminal or a log that way.
std::string Redact(std::string text, std::initializer_list<std::string_view> secrets);

}  // namespace csql::security
