// The conversion run. Every step that fails is skipped and the run goes on with
// the next one; a failure while a decision is evaluated counts as the decision
// being met. Only a failed connection ends the run early. The statements are sent
// exactly as the server's administrators have always seen them in traces.
#include "app/conversion_run.h"

#include <exception>
#include <string>

#include "app/conversion_statements.h"
#include "database_conversion.h"
#include "platform/main_mod.h"
#include "platform/session.h"
#include "platform/text.h"
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
using platform::Trim;

void ShowConnectionError() {
  platform::ShowError(gErrCode, gErrDescription);
}

// State of one run; nothing survives it.
class Run {
 public:
  Run(ConversionView& view, const ConversionOptions& options) : view_(view), conversion_(options) {}
  // Hands each database to `visit` instead of changing it; no closing message.
  Run(ConversionView& view, DatabaseVisitor visit, const RunControl* control)
      : view_(view), visit_(std::move(visit)), control_(control) {}

  ConversionOutcome Execute() {
    ConversionOutcome outcome;
    if (!Connect(master_, "master")) {
      ShowConnectionError();
      outcome.status = ConversionOutcome::Status::kConnectionFailed;
      return outcome;
    }
    platform::Ui().SetMousePointer(platform::kPointerHourglass);
    const bool completed = WalkDatabases();
    // On a failed connection the database list and the master connection are
    // released with the run's state; the pointer goes back either way.
    if (completed) {
      Try([&] { database_list_.Close(); });
      Try([&] { master_.Close(); });
    }
    platform::Ui().SetMousePointer(platform::kPointerDefault);
    outcome.detected_list = detected_list_;
    outcome.failed_list = failed_list_;
    if (!completed) {
      ShowConnectionError();
      outcome.status = ConversionOutcome::Status::kConnectionFailed;
      return outcome;
    }
    outcome.interrupted = interrupted_;
    if (!visit_ && !interrupted_) detail::ShowClosingMessages(detected_list_, failed_list_);
    return outcome;
  }

 private:
  bool Connect(Connection& connection, const std::string& database) {
    // The fields are read again for every connection: the window may have
    // changed them while the run was under way.
    return SharedCSql().CreateDBConnection(connection, view_.ServerText(), database, view_.LoginText(),
                                           view_.PasswordText(), kTimeOutSeconds, gErrCode, gErrDescription,
                                           0);
  }

  // Returns false when the database list could not be read or a database could
  // not be connected to; gErrCode and gErrDescription then say why.
  bool WalkDatabases() {
    // A list that cannot be read is a failed connection, never an empty list: it
    // would otherwise be reported as "nothing to do".
    if (!Fails([&] {
          database_list_.Open(kDatabaseListQuery, master_, CursorType::kForwardOnly, LockType::kReadOnly);
        })) {
      return false;
    }
    if (Met([&] { return database_list_.Bof() && database_list_.Eof(); })) return true;

    for (;;) {
      bool at_end = false;
      try {
        at_end = database_list_.Eof();
      } catch (const std::exception&) {
        // A failing end-of-list test counts as "not at end"; the name read
        // below then fails and ends the run.
      }
      if (at_end) break;
      if (control_ != nullptr && control_->StopRequested()) {
        interrupted_ = true;
        break;
      }
      std::string name;
      // Without a readable row there is no database to connect to: the
      // connection step fails and ends the run, naming the real cause.
      if (!Fails([&] { name = database_list_.Value("name").ToString(); })) return false;
      view_.Refresh();
      view_.SetProgressCaption(name);
      if (!Connect(database_, name)) return false;
      if (visit_) {
        visit_(database_, name);
      } else {
        ProcessDatabase(name);
      }
      Try([&] { database_.Close(); });
      // A list that cannot move on would repeat this database without end, and
      // the databases after it would go unreported.
      if (!Fails([&] { database_list_.MoveNext(); })) return false;
    }
    return true;
  }

  // Runs `step`; on a platform error hands its number and text to gErrCode and
  // gErrDescription and returns false.
  template <typename Step>
  static bool Fails(Step&& step) {
    try {
      step();
      return true;
    } catch (const platform::Error& error) {
      gErrCode = error.Number();
      gErrDescription = error.Description();
      return false;
    }
  }

  void ProcessDatabase(const std::string& name) {
    const detail::DatabaseResult result = conversion_.Convert(database_);
    if (!result.detected) return;
    if (result.failed) failed_list_ += name + ";";
    detected_list_ += name + ";";
  }

  ConversionView& view_;
  Connection master_;
  Connection database_;
  Recordset database_list_;
  detail::DatabaseConversion conversion_;
  std::string detected_list_;
  std::string failed_list_;
  DatabaseVisitor visit_;
  const RunControl* control_ = nullptr;
  bool interrupted_ = false;
};

}  // namespace

ConversionOutcome RunConversion(ConversionView& view, const ConversionOptions& options) {
  return Run(view, options).Execute();
}

ConversionOutcome VisitConversionDatabases(ConversionView& view, DatabaseVisitor visit,
                                           const RunControl* control) {
  return Run(view, std::move(visit), control).Execute();
}

}  // namespace app
