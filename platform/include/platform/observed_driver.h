// A driver that reports every request its sessions send, with its outcome and
// time, to an observer, and otherwise passes everything to the driver it wraps.
// The command line's report and progress line are built on it, so the run itself
// needs no instrumenting.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/driver.h"

namespace platform {

// One request and what became of it.
struct StatementEvent {
  std::string database;  // the database the session was opened on
  std::string text;      // the batch, or "BEGIN TRANSACTION", "COMMIT TRANSACTION", "ROLLBACK TRANSACTION"
  bool ok = true;
  std::int32_t error_number = 0;  // when not ok
  std::string error_text;         // when not ok
  std::chrono::system_clock::time_point started;
  double seconds = 0;
  const BatchReply* reply = nullptr;  // when ok and the request returns one; valid during the call only
};

using StatementObserver = std::function<void(const StatementEvent&)>;

// Wraps `inner`; `observer` is called on the thread that sent the request, after
// it ended. Failed connects are not reported (they reach the caller as errors).
std::shared_ptr<Driver> MakeObservedDriver(std::shared_ptr<Driver> inner, StatementObserver observer);

}  // namespace platform
