// Helpers shared by logins.cpp, roles.cpp and users.cpp.
#include "security_support.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"

namespace csql::security {

bool OpenLibraryConnection(platform::Connection& conn, const std::string& database,
                           std::int32_t* error_number, std::string* error_text) {
  std::int32_t number = 0;
  std::string text;
  const bool opened =
      SharedCSql().CreateDBConnection(conn, gServer, database, gUID, gPwd, 600, number, text, 0);
  if (!opened) {
    if (error_number) *error_number = number;
    if (error_text) *error_text = text;
  }
  return opened;
}

bool RunAllowing(platform::Connection& conn, const std::string& statement,
                 std::initializer_list<std::int32_t> already_so) {
  try {
    conn.Execute(statement);
    return true;
  } catch (const platform::Error& error) {
    return std::find(already_so.begin(), already_so.end(), error.Number()) != already_so.end();
  } catch (const std::exception&) {
    return false;
  }
}

void CloseQuietly(platform::Connection& conn) {
  if (conn.State() != platform::kStateOpen) return;
  try {
    conn.Close();
  } catch (const std::exception&) {
    // The session is gone already; nothing is left to release.
  }
}

BusyPointer::BusyPointer() {
  platform::Ui().SetMousePointer(platform::kPointerHourglass);
}

BusyPointer::~BusyPointer() {
  Off();
}

void BusyPointer::Off() {
  if (!on_) return;
  on_ = false;
  platform::Ui().SetMousePointer(platform::kPointerDefault);
}

std::string ServerRoleName(std::int32_t index) {
  static constexpr std::array<const char*, 7> kRoles = {
      "sysadmin", "serveradmin", "setupadmin", "securityadmin", "processadmin", "dbcreator", "diskadmin"};
  return index >= 0 && index < static_cast<std::int32_t>(kRoles.size()) ? kRoles[index] : "";
}

std::string DatabaseRoleName(std::int32_t index) {
  // "db_owner " keeps its trailing blank: the server ignores trailing blanks when
  // it looks a role up, and callers' statement logs show it this way.
  static constexpr std::array<const char*, 9> kRoles = {
      "db_owner ",        "db_accessadmin",    "db_datareader",     "db_datawriter",    "db_ddladmin",
      "db_securityadmin", "db_backupoperator", "db_denydatareader", "db_denydatawriter"};
  return index >= 0 && index < static_cast<std::int32_t>(kRoles.size()) ? kRoles[index] : "";
}

Failure Describe(const std::exception& failure) {
  if (const auto* error = dynamic_cast<const platform::Error*>(&failure))
    return {error->Number(), error->Description()};
  return {platform::kErrUnspecified, failure.what()};
}

namespace {

void ReplaceAll(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  const std::string mask = "****";
  for (std::size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + mask.size())) {
    text.replace(at, secret.size(), mask);
  }
}

}  // namespace

std::string Redact(std::string text, std::initializer_list<std::string_view> secrets) {
  for (std::string_view secret : secrets) {
    // A blank secret (the old password of the NULL form is not sent at all) would
    // mask the message's own blanks.
    if (platform::Trim(secret).empty()) continue;
    std::vector<std::string> forms{std::string(secret), platform::Trim(secret)};
    std::string doubled;
    for (char c : secret) {
      doubled += c;
      if (c == '\'') doubled += '\'';
    }
    forms.push_back(doubled);
    // The longest form first, so that a shorter one does not leave part of it.
    std::sort(forms.begin(), forms.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const auto& form : forms) ReplaceAll(text, form);
  }
  return text;
}

}  // namespace csql::security
