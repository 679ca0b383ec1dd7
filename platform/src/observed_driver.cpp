#include "platform/observed_driver.h"

#include <utility>
#include <vector>

namespace platform {
namespace {

class ObservedSession final : public DriverSession {
 public:
  ObservedSession(std::unique_ptr<DriverSession> inner, std::string database,
                  std::shared_ptr<StatementObserver> observer)
      : inner_(std::move(inner)), database_(std::move(database)), observer_(std::move(observer)) {}

  BatchReply Execute(const std::string& text, int timeout_seconds) override {
    return Observe(text, [&] { return inner_->Execute(text, timeout_seconds); });
  }
  BatchReply ExecuteCommand(const std::string& text, CommandType type,
                            std::vector<ParameterBinding>& parameters, int timeout_seconds) override {
    return Observe(text, [&] { return inner_->ExecuteCommand(text, type, parameters, timeout_seconds); });
  }
  void BeginTrans() override {
    Observe("BEGIN TRANSACTION", [&] { return (inner_->BeginTrans(), BatchReply()); });
  }
  void CommitTrans() override {
    Observe("COMMIT TRANSACTION", [&] { return (inner_->CommitTrans(), BatchReply()); });
  }
  void RollbackTrans() override {
    Observe("ROLLBACK TRANSACTION", [&] { return (inner_->RollbackTrans(), BatchReply()); });
  }
  void Close() noexcept override { inner_->Close(); }
  void Cancel() noexcept override { inner_->Cancel(); }

 private:
  template <typename Request>
  BatchReply Observe(const std::string& text, Request&& request) {
    StatementEvent event;
    event.database = database_;
    event.text = text;
    event.started = std::chrono::system_clock::now();
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    try {
      BatchReply reply = request();
      event.seconds = elapsed();
      event.reply = &reply;
      (*observer_)(event);
      return reply;
    } catch (const Error& error) {
      event.seconds = elapsed();
      event.ok = false;
      event.error_number = error.Number();
      event.error_text = error.Description();
      (*observer_)(event);
      throw;
    }
  }

  std::unique_ptr<DriverSession> inner_;
  std::string database_;
  std::shared_ptr<StatementObserver> observer_;
};

class ObservedDriver final : public Driver {
 public:
  ObservedDriver(std::shared_ptr<Driver> inner, StatementObserver observer)
      : inner_(std::move(inner)), observer_(std::make_shared<StatementObserver>(std::move(observer))) {}

  std::unique_ptr<DriverSession> Connect(const ConnectRequest& request) override {
    return std::make_unique<ObservedSession>(inner_->Connect(request), request.database, observer_);
  }

 private:
  std::shared_ptr<Driver> inner_;
  std::shared_ptr<StatementObserver> observer_;
};

}  // namespace

std::shared_ptr<Driver> MakeObservedDriver(std::shared_ptr<Driver> inner, StatementObserver observer) {
  return std::make_shared<ObservedDriver>(std::move(inner), std::move(observer));
}

}  // namespace platform
