// State shared by every connection of one stand-in process: the catalogue (and the copy loaded from the
// scenario, for RESET), the faults in force, the statement log, the live sessions and the locks their
// transactions hold. One mutex guards all of it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/lock_table.h"

namespace standin {

struct Faults {
  bool refuse_logins = false;
  std::optional<int64_t> drop_after;  // close the connection that receives the Nth statement from now on
  int64_t statements_seen = 0;        // statements counted towards drop_after
  std::string drop_on;                // close the connection that receives a statement containing this text
  int latency_ms = 0;                 // added before every reply
  std::string hang_on;                // a statement containing this text runs until the client cancels it
};

struct LogEntry {
  int64_t seq = 0;
  int connection = 0;
  int spid = 0;
  std::string login;
  std::string database;
  std::string kind;  // "batch", "rpc" or "tm"
  std::string text;
};

struct LiveSession {
  int connection = 0;
  int spid = 0;
  std::string login;
  std::string database;
  std::string hostname;
  std::string program_name;
  std::string net_address;
  std::string status = "sleeping";
  int fd = -1;  // the client socket, shut down by KILL and by single-user mode WITH ROLLBACK IMMEDIATE
};

class ServerState {
 public:
  explicit ServerState(Catalog catalog, Faults faults = {});

  std::mutex mu;  // guards every member below
  Catalog catalog;
  Catalog initial_catalog;
  Faults faults;
  Faults initial_faults;
  std::vector<LogEntry> log;
  std::map<int, LiveSession> sessions;  // by connection id
  std::ofstream log_file;
  LockTable locks;
  // Signalled whenever locks are released; a statement waiting for a lock waits on it with `mu`.
  std::condition_variable_any locks_released;

  // Restores the catalogue and the faults loaded at start and clears the log (the control channel's RESET).
  void Reset();
  void Record(LogEntry entry);
  int NewConnectionId() { return next_connection_++; }
  int NewSpid();
  // Number of live sessions other than `except_connection` whose current database is `database`.
  int SessionsIn(std::string_view database, int except_connection) const;
  // Ends a live session: its socket is shut down, so its thread rolls back and leaves.
  void EndSession(int connection);
  // Releases every lock of the connection and wakes the statements waiting for locks.
  void ReleaseLocks(int connection);

 private:
  int next_connection_ = 1;
  int64_t next_seq_ = 1;
};

}  // namespace standin
