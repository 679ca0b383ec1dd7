#include "app/signal_watch.h"

#include <pthread.h>
#include <unistd.h>

#include <ctime>
#include <optional>

namespace app {
namespace {

// How often the watcher looks whether the run has ended, and how often it aborts
// again once aborting (a request may have started just as the last abort ran).
constexpr long kTickNanoseconds = 100'000'000;
constexpr auto kAbortAgain = std::chrono::seconds(1);

}  // namespace

SignalWatch::SignalWatch(RunControl& control, std::chrono::milliseconds grace,
                         std::function<void(int signal, int count)> notice)
    : control_(control), grace_(grace), notice_(std::move(notice)) {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  // A hang-up (the terminal or the SSH session gone) stops the run as SIGTERM
  // does, so the report is still written. Under nohup it stays ignored: a blocked
  // signal is queued even when ignored, and would otherwise stop the run.
  struct sigaction hangup {};
  if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) sigaddset(&signals_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  watcher_ = std::thread([this] { Watch(); });
}

SignalWatch::~SignalWatch() {
  done_.store(true);
  watcher_.join();
  // A signal that came after the run ended is dropped rather than delivered
  // when the mask is restored.
  const timespec none{0, 0};
  while (sigtimedwait(&signals_, nullptr, &none) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void SignalWatch::Watch() {
  using Clock = std::chrono::steady_clock;
  int count = 0;
  std::optional<Clock::time_point> abort_at;
  const timespec tick{0, kTickNanoseconds};
  while (!done_.load()) {
    const int signal = sigtimedwait(&signals_, nullptr, &tick);
    if (signal > 0) {
      ++count;
      if (count == 1) first_.store(signal);
      if (notice_) notice_(signal, count);
      if (count >= 3) _exit(128 + first_.load());
      control_.RequestStop();
      abort_at = count == 1 ? Clock::now() + grace_ : Clock::now();
    }
    if (abort_at && Clock::now() >= *abort_at) {
      control_.Abort();
      abort_at = Clock::now() + kAbortAgain;
    }
  }
}

}  // namespace app
