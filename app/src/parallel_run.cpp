// The conversion run's workers. The run's own state (the database list, the
// lists of names, the turn of the next database to announce) is guarded by one
// mutex; each worker keeps its connection, its result sets and its error number
// and text to itself, so the program-wide gErrCode and gErrDescription are written
// only on the calling thread, before the workers start and after they end, as the
// sequential run leaves them. The shared CSql keeps nothing between calls, and the
// view (which may not expect several threads) is only reached under a mutex of
// its own.
#include "app/parallel_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/conversion_statements.h"
#include "database_conversion.h"
#include "platform/main_mod.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"

namespace app {
namespace {

using detail::kTimeOutSeconds;
using detail::Met;
using detail::Try;
using platform::Connection;
using platform::CursorType;
using platform::LockType;
using platform::Recordset;

// How often a worker waiting for its turn looks whether the run was stopped.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

struct ConnectFailure {
  std::int32_t number = 0;
  std::string text;
};

class ParallelRun {
 public:
  ParallelRun(ConversionView& view, int jobs, const RunControl& control, const ConversionOptions& options)
      : view_(view), jobs_(std::max(jobs, 1)), control_(control), options_(options) {}

  ConversionOutcome Execute() {
    ConversionOutcome outcome;
    if (!Connect(master_, "master", gErrCode, gErrDescription)) {
      platform::ShowError(gErrCode, gErrDescription);
      outcome.status = ConversionOutcome::Status::kConnectionFailed;
      return outcome;
    }
    platform::Ui().SetMousePointer(platform::kPointerHourglass);
    ReadList();
    results_.resize(names_.size());
    // The list's failure, when it could not be read to its end, stands in the
    // place of the database that could not be read: the databases before it are
    // processed, and it then ends the run as a failed connection would.
    slots_ = names_.size() + (list_failure_ ? 1 : 0);
    if (jobs_ == 1 || slots_ <= 1) {
      Work();
    } else {
      std::vector<std::thread> workers;
      const auto count = std::min<std::size_t>(static_cast<std::size_t>(jobs_), slots_);
      for (std::size_t i = 0; i < count; ++i) workers.emplace_back([this] { Work(); });
      for (auto& worker : workers) worker.join();
    }
    if (!failure_) {
      Try([&] { database_list_.Close(); });
      Try([&] { master_.Close(); });
    }
    platform::Ui().SetMousePointer(platform::kPointerDefault);
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (!results_[i].detected) continue;
      if (results_[i].failed) outcome.failed_list += names_[i] + ";";
      outcome.detected_list += names_[i] + ";";
    }
    if (failure_) {
      gErrCode = failure_->number;
      gErrDescription = failure_->text;
      platform::ShowError(gErrCode, gErrDescription);
      outcome.status = ConversionOutcome::Status::kConnectionFailed;
      return outcome;
    }
    if (resolved_ < slots_) {
      outcome.interrupted = true;
      return outcome;
    }
    detail::ShowClosingMessages(outcome.detected_list, outcome.failed_list);
    return outcome;
  }

 private:
  bool Connect(Connection& connection, const std::string& database, std::int32_t& number, std::string& text) {
    std::string server, login, password;
    {
      const std::lock_guard lock(view_mutex_);
      server = view_.ServerText();
      login = view_.LoginText();
      password = view_.PasswordText();
    }
    return SharedCSql().CreateDBConnection(connection, server, database, login, password, kTimeOutSeconds,
                                           number, text, 0);
  }

  // Reads the whole list on the master connection, as the sequential run walks
  // it; a list that cannot be read, or a row or move that fails, is recorded as
  // the failure that ends the run at that place.
  void ReadList() {
    const auto fails = [this](auto&& step) {
      try {
        step();
        return false;
      } catch (const platform::Error& error) {
        list_failure_ = ConnectFailure{error.Number(), error.Description()};
        return true;
      }
    };
    if (fails([&] {
          database_list_.Open(kDatabaseListQuery, master_, CursorType::kForwardOnly, LockType::kReadOnly);
        })) {
      return;
    }
    if (Met([&] { return database_list_.Bof() && database_list_.Eof(); })) return;
    for (;;) {
      bool at_end = false;
      try {
        at_end = database_list_.Eof();
      } catch (const std::exception&) {
        // Counts as "not at end": the name read below fails and says why.
      }
      if (at_end) return;
      std::string name;
      if (fails([&] { name = database_list_.Value("name").ToString(); })) return;
      names_.push_back(std::move(name));
      if (fails([&] { database_list_.MoveNext(); })) return;
    }
  }

  // Takes databases in the list's order until none is left, the run ended on a
  // failed connection, or it was asked to stop.
  void Work() {
    Connection database;
    detail::DatabaseConversion conversion(options_);
    for (;;) {
      std::size_t index = 0;
      bool my_turn = false;
      {
        const std::lock_guard lock(mutex_);
        if (failure_ || control_.StopRequested() || next_ >= slots_) return;
        index = next_++;
        my_turn = resolved_ == index;
      }
      // The database whose turn it already is shows its name before it is
      // connected to, as in the sequential run; the others connect first and
      // wait for their turn.
      if (my_turn) Announce(index);
      std::int32_t number = 0;
      std::string text;
      bool connected = false;
      if (index < names_.size()) {
        connected = Connect(database, names_[index], number, text);
      } else {
        number = list_failure_->number;
        text = list_failure_->text;
      }
      if (!my_turn) {
        if (!AwaitTurn(index)) {
          if (connected) Try([&] { database.Close(); });
          return;
        }
        Announce(index);
      }
      {
        const std::lock_guard lock(mutex_);
        if (!connected) {
          failure_ = ConnectFailure{number, std::move(text)};
        } else {
          resolved_ = index + 1;
        }
      }
      turn_.notify_all();
      if (!connected) return;
      results_[index] = conversion.Convert(database);
      Try([&] { database.Close(); });
    }
  }

  // Waits until every database before `index` was connected to. False when the
  // run ended on a failed connection or was stopped first: the database was taken
  // but not yet shown, so it is left as the sequential run would leave it.
  bool AwaitTurn(std::size_t index) {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (failure_ || control_.StopRequested()) return false;
      if (resolved_ == index) return true;
      turn_.wait_for(lock, kStopPoll);
    }
  }

  void Announce(std::size_t index) {
    if (index >= names_.size()) return;
    const std::lock_guard lock(view_mutex_);
    view_.Refresh();
    view_.SetProgressCaption(names_[index]);
  }

  ConversionView& view_;
  const int jobs_;
  const RunControl& control_;
  const ConversionOptions options_;
  std::mutex view_mutex_;
  Connection master_;
  Recordset database_list_;
  // Written before the workers start, read-only while they run.
  std::vector<std::string> names_;
  std::optional<ConnectFailure> list_failure_;
  std::size_t slots_ = 0;
  // Each worker writes only the results of the databases it took.
  std::vector<detail::DatabaseResult> results_;

  std::mutex mutex_;  // guards the members below
  std::condition_variable turn_;
  std::size_t next_ = 0;      // the next database to take
  std::size_t resolved_ = 0;  // the databases before this one were all connected to
  std::optional<ConnectFailure> failure_;
};

}  // namespace

ConversionOutcome RunConversionInParallel(ConversionView& view, int jobs, const RunControl& control,
                                          const ConversionOptions& options) {
  return ParallelRun(view, jobs, control, options).Execute();
}

}  // namespace app
