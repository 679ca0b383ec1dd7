// One database's part of the conversion run: the type test, the drops and the
// column change in one transaction. The sequential run and the parallel workers
// share it, so every database sees the same statements whichever runs it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "app/conversion_run.h"
#include "platform/session.h"

namespace app::detail {

// The connect and command time-out, in seconds, of every connection of the run.
inline constexpr std::int32_t kTimeOutSeconds = 600;

// Runs a step; a failure skips it.
template <typename Step>
void Try(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}

// Evaluates a decision; a failure counts as the decision being met.
template <typename Test>
bool Met(Test&& test) {
  try {
    return test();
  } catch (const std::exception&) {
    return true;
  }
}

struct DatabaseResult {
  bool detected = false;  // the column needed the change
  bool failed = false;    // the change did not happen
};

// Holds the result sets one database's steps use; a run (or a worker) keeps one
// and reuses it for every database it processes, as the run always has.
class DatabaseConversion {
 public:
  DatabaseConversion() = default;
  explicit DatabaseConversion(const ConversionOptions& options) : options_(options) {}

  // Converts the database open on `database`. Every failing step is skipped.
  DatabaseResult Convert(platform::Connection& database);

 private:
  bool AlreadyConverted();
  void DropIndexes();
  void DropFirstConstraint();
  void DropStatistics();
  bool Finish(bool changed);

  ConversionOptions options_;
  platform::Connection* database_ = nullptr;
  platform::Recordset type_result_;
  platform::Recordset list_result_;
  platform::Recordset constraint_result_;
};

// The closing messages of a run that went through its whole list: the databases
// that needed the change, then (when any) those whose change failed.
void ShowClosingMessages(const std::string& detected_list, const std::string& failed_list);

}  // namespace app::detail
