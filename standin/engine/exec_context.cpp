#include "engine/exec_context.h"

#include <algorithm>

namespace standin {

Database* ExecContext::CurrentDb() {
  return server.catalog.FindDatabase(session.database);
}

const LoginDef* ExecContext::CurrentLogin() {
  return server.catalog.FindLogin(session.login);
}

bool ExecContext::IsSysAdmin() {
  const LoginDef* login = CurrentLogin();
  if (!login) return false;
  return std::any_of(login->server_roles.begin(), login->server_roles.end(),
                     [](const std::string& r) { return NamesEqual(r, "sysadmin"); });
}

void ExecContext::Rows(ResultSet rows) {
  if (!in_procedure) row_count = static_cast<int64_t>(rows.rows.size());
  reply.items.push_back(RowsItem{std::move(rows), in_procedure});
}

void ExecContext::Info(int32_t number, std::string text, uint8_t state) {
  // Severity 10 messages reach the client with class 0.
  reply.items.push_back(MessageItem{false, number, state, 0, std::move(text), procedure, 1});
}

void ExecContext::Error(int32_t number, uint8_t severity, uint8_t state, std::string text) {
  failed = true;
  // A failed conversion of text to a date ends the batch and rolls back the open transaction, even with
  // XACT_ABORT off; most other errors end only their statement.
  if (number == 241 || number == 242) aborts_transaction = true;
  reply.items.push_back(MessageItem{true, number, state, severity, std::move(text), procedure, 1});
}

void ExecContext::BeforeChange(Database& db) {
  if (session.trancount == 0) return;
  std::string key = Lower(db.name);
  if (!session.undo.count(key)) session.undo.emplace(key, db);
}

std::vector<int32_t> Reply::ErrorNumbers() const {
  std::vector<int32_t> out;
  for (const auto& item : items) {
    if (auto* m = std::get_if<MessageItem>(&item); m && m->error) out.push_back(m->number);
  }
  return out;
}

std::vector<int32_t> Reply::InfoNumbers() const {
  std::vector<int32_t> out;
  for (const auto& item : items) {
    if (auto* m = std::get_if<MessageItem>(&item); m && !m->error) out.push_back(m->number);
  }
  return out;
}

std::vector<const ResultSet*> Reply::ResultSets() const {
  std::vector<const ResultSet*> out;
  for (const auto& item : items) {
    if (auto* r = std::get_if<RowsItem>(&item)) out.push_back(&r->rows);
  }
  return out;
}

const MessageItem* Reply::FirstError() const {
  for (const auto& item : items) {
    if (auto* m = std::get_if<MessageItem>(&item); m && m->error) return m;
  }
  return nullptr;
}

}  // namespace standin
