#include "app/run_control.h"

#include <atomic>
#include <mutex>
#include <set>
#include <utility>

#include "platform/error_numbers.h"

namespace app {

struct RunControl::Shared {
  std::atomic<bool> stop{false};
  std::atomic<bool> aborted{false};
  std::mutex mutex;  // guards `live`; a session leaves it before it ends
  std::set<platform::DriverSession*> live;
};

namespace {

[[noreturn]] void Refuse() {
  throw platform::Error(platform::kErrOperationCancelled, "Operation has been cancelled by the user.");
}

class GuardedSession final : public platform::DriverSession {
 public:
  GuardedSession(std::unique_ptr<platform::DriverSession> inner, std::shared_ptr<RunControl::Shared> shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {
    const std::lock_guard lock(shared_->mutex);
    shared_->live.insert(inner_.get());
  }
  ~GuardedSession() override {
    const std::lock_guard lock(shared_->mutex);
    shared_->live.erase(inner_.get());
  }
  GuardedSession(const GuardedSession&) = delete;
  GuardedSession& operator=(const GuardedSession&) = delete;

  platform::BatchReply Execute(const std::string& text, int timeout_seconds) override {
    RefuseWhenAborted();
    return inner_->Execute(text, timeout_seconds);
  }
  platform::BatchReply ExecuteCommand(const std::string& text, platform::CommandType type,
                                      std::vector<platform::ParameterBinding>& parameters,
                                      int timeout_seconds) override {
    RefuseWhenAborted();
    return inner_->ExecuteCommand(text, type, parameters, timeout_seconds);
  }
  void BeginTrans() override {
    RefuseWhenAborted();
    inner_->BeginTrans();
  }
  void CommitTrans() override {
    RefuseWhenAborted();
    inner_->CommitTrans();
  }
  void RollbackTrans() override { inner_->RollbackTrans(); }
  void Close() noexcept override { inner_->Close(); }
  void Cancel() noexcept override { inner_->Cancel(); }

 private:
  void RefuseWhenAborted() const {
    if (shared_->aborted.load()) Refuse();
  }

  std::unique_ptr<platform::DriverSession> inner_;
  std::shared_ptr<RunControl::Shared> shared_;
};

class GuardedDriver final : public platform::Driver {
 public:
  GuardedDriver(std::shared_ptr<platform::Driver> inner, std::shared_ptr<RunControl::Shared> shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}

  std::unique_ptr<platform::DriverSession> Connect(const platform::ConnectRequest& request) override {
    if (shared_->aborted.load()) Refuse();
    return std::make_unique<GuardedSession>(inner_->Connect(request), shared_);
  }

 private:
  std::shared_ptr<platform::Driver> inner_;
  std::shared_ptr<RunControl::Shared> shared_;
};

}  // namespace

RunControl::RunControl() : shared_(std::make_shared<Shared>()) {}

void RunControl::RequestStop() noexcept {
  shared_->stop.store(true);
}

bool RunControl::StopRequested() const noexcept {
  return shared_->stop.load();
}

void RunControl::Abort() noexcept {
  shared_->stop.store(true);
  shared_->aborted.store(true);
  const std::lock_guard lock(shared_->mutex);
  for (platform::DriverSession* session : shared_->live) session->Cancel();
}

bool RunControl::Aborted() const noexcept {
  return shared_->aborted.load();
}

std::shared_ptr<platform::Driver> RunControl::Guard(std::shared_ptr<platform::Driver> inner) const {
  return std::make_shared<GuardedDriver>(std::move(inner), shared_);
}

}  // namespace app
