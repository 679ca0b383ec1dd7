// Stopping a conversion run from outside it (the command line's SIGINT and
// SIGTERM). A stop lets the databases under way finish and takes no new one; an
// abort cancels what the server is doing for them and refuses every later
// request but a rollback, so each of them ends rolled back instead of half done.
#pragma once

#include <memory>

#include "platform/driver.h"

namespace app {

class RunControl {
 public:
  RunControl();

  // The run takes no new database from now on.
  void RequestStop() noexcept;
  [[nodiscard]] bool StopRequested() const noexcept;

  // Cancels the requests under way on the sessions of Guard's driver and refuses
  // every later request on them, and every new connection, with
  // kErrOperationCancelled; only rollbacks still go through. Also stops the run.
  // May be called again, to reach a request that started during the last call.
  void Abort() noexcept;
  [[nodiscard]] bool Aborted() const noexcept;

  // A driver over `inner` whose sessions Abort reaches.
  [[nodiscard]] std::shared_ptr<platform::Driver> Guard(std::shared_ptr<platform::Driver> inner) const;

  struct Shared;  // the flags and the live sessions, shared with the guarded driver

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace app
