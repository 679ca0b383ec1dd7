// The conversion run: brings MovCliente.DataSys to "datetime null" in every
// Parvimar database of a server. The main window and the command line both start
// it; what it needs of its caller is the ConversionView below, and it reports
// through the UI services (message boxes, the program-wide pointer).
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "app/run_control.h"
#include "platform/session.h"

namespace app {

// What the run reads from and writes to the window that started it.
class ConversionView {
 public:
  virtual ~ConversionView() = default;
  // The current texts of the server, login and password fields; read again for
  // every connection the run opens.
  virtual std::string ServerText() = 0;
  virtual std::string LoginText() = 0;
  virtual std::string PasswordText() = 0;
  // Repaints the window now.
  virtual void Refresh() = 0;
  // The progress label's caption: the name of the database being processed.
  virtual void SetProgressCaption(const std::string& caption) = 0;
};

// A view whose fields hold fixed texts, for runs without a window (the command
// line, the benchmark, the tests). Each progress caption goes to `on_progress`.
class FixedFieldsView final : public ConversionView {
 public:
  FixedFieldsView(std::string server, std::string login, std::string password,
                  std::function<void(const std::string&)> on_progress = {})
      : server_(std::move(server)),
        login_(std::move(login)),
        password_(std::move(password)),
        on_progress_(std::move(on_progress)) {}
  std::string ServerText() override { return server_; }
  std::string LoginText() override { return login_; }
  std::string PasswordText() override { return password_; }
  void Refresh() override {}
  void SetProgressCaption(const std::string& caption) override {
    if (on_progress_) on_progress_(caption);
  }

 private:
  std::string server_, login_, password_;
  std::function<void(const std::string&)> on_progress_;
};

struct ConversionOutcome {
  enum class Status { kCompleted, kConnectionFailed };
  Status status = Status::kCompleted;
  // Every database that needed the change, each followed by ";".
  std::string detected_list;
  // Every database whose column change failed, each followed by ";".
  std::string failed_list;
  // The run was stopped from outside before it went through its whole list (no
  // closing message was shown).
  bool interrupted = false;
};

struct ConversionOptions {
  // Keep what depends on DataSys: every index, user statistic, default and check
  // on it is read from the catalogue views, dropped and created again after the
  // change, in the database's transaction (see keep_dependents.h). Without it the
  // run drops what its three lists show, as it always has.
  bool keep_dependents = false;
};

// Runs the conversion to its end on the calling thread.
ConversionOutcome RunConversion(ConversionView& view, const ConversionOptions& options = {});

// Goes through the Parvimar databases exactly as the run does (the same
// connections, list, captions, pointer and failure rules) but hands each open
// database connection to `visit` instead of changing it, and shows no closing
// message. The outcome's lists are left empty. Once `control` (when given) asks to
// stop, no further database is taken and the outcome says interrupted.
using DatabaseVisitor = std::function<void(platform::Connection& database, const std::string& name)>;
ConversionOutcome VisitConversionDatabases(ConversionView& view, DatabaseVisitor visit,
                                           const RunControl* control = nullptr);

}  // namespace app
