#include "catalog/server_state.h"

#include <sys/socket.h>

#include <nlohmann/json.hpp>

#include "catalog/security_state.h"

namespace standin {

ServerState::ServerState(Catalog c, Faults f)
    : catalog(c), initial_catalog(std::move(c)), faults(f), initial_faults(f) {}

void ServerState::Reset() {
  catalog = initial_catalog;
  faults = initial_faults;
  log.clear();
}

void ServerState::Record(LogEntry entry) {
  entry.seq = next_seq_++;
  entry.text = LoggedText(entry.text);
  if (log_file.is_open()) {
    nlohmann::json j = {{"seq", entry.seq},     {"connection", entry.connection}, {"spid", entry.spid},
                        {"login", entry.login}, {"database", entry.database},     {"kind", entry.kind},
                        {"text", entry.text}};
    log_file << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    log_file.flush();
  }
  log.push_back(std::move(entry));
}

int ServerState::NewSpid() {
  // Live sessions take spids from 51 up, skipping those of the scenario's processes and of live sessions.
  for (int spid = 51;; ++spid) {
    bool taken = false;
    for (const auto& p : catalog.processes) taken = taken || p.spid == spid;
    for (const auto& [id, s] : sessions) taken = taken || s.spid == spid;
    if (!taken) return spid;
  }
}

int ServerState::SessionsIn(std::string_view database, int except_connection) const {
  int n = 0;
  for (const auto& [id, s] : sessions) {
    if (id != except_connection && NamesEqual(s.database, database)) ++n;
  }
  return n;
}

void ServerState::EndSession(int connection) {
  auto it = sessions.find(connection);
  if (it == sessions.end()) return;
  if (it->second.fd >= 0) ::shutdown(it->second.fd, SHUT_RDWR);
  sessions.erase(it);
}

void ServerState::ReleaseLocks(int connection) {
  locks.ReleaseAll(connection);
  locks_released.notify_all();
}

}  // namespace standin
