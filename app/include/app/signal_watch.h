// SIGINT, SIGTERM and SIGHUP during a command-line run (SIGHUP only when the
// program was not started to ignore it, as under nohup). The signals are blocked in every
// thread and taken by a watcher thread of their own, so no work happens in a
// signal handler: the first signal stops the run (no new database); the
// databases under way get `grace` to finish, after which, or at once on a second
// signal, they are aborted and rolled back; a third signal ends the program at
// once with 128 + its number (the server then rolls back whatever is still open,
// since every database's change is one transaction).
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "app/run_control.h"

namespace app {

class SignalWatch {
 public:
  // Must be made before any other thread starts, so that they all inherit the
  // blocked signals. `notice` is called on the watcher thread with each signal.
  SignalWatch(RunControl& control, std::chrono::milliseconds grace,
              std::function<void(int signal, int count)> notice = {});
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // The first signal taken (SIGINT, SIGTERM or SIGHUP), 0 when none came.
  [[nodiscard]] int Signal() const noexcept { return first_.load(); }

 private:
  void Watch();

  RunControl& control_;
  std::chrono::milliseconds grace_;
  std::function<void(int, int)> notice_;
  sigset_t signals_{};
  sigset_t previous_{};
  std::atomic<int> first_{0};
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

}  // namespace app
