// The conversion run. Every step that fails is skipped and the run goes on with
// the next one; a failure while a decision is evaluated counts as the decision
// being met. Only a failed connection ends the run early. The statements are sent
// exactly as the server's administrators have always seen them in traces.
#include "app/conversion_run.h"

#include <exception>
#include <string>

#include "app/conversion_statements.h"
#include "app/keep_dependents.h"
#include "platform/main_mod.h"
#include "platform/session.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

namespace app {
namespace {

using platform::Connection;
using platform::CursorType;
using platform::LockType;
using platform::Lower;
using platform::Recordset;
using platform::Trim;

constexpr std::int32_t kTimeOutSeconds = 600;

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

bool IsOpenAndNotEmpty(const Recordset& result) {
  return result.State() == platform::kStateOpen && !(result.Bof() && result.Eof());
}

void OpenList(Recordset& result, const char* query, const Connection& connection) {
  Try([&] { result.Open(query, connection, CursorType::kForwardOnly, LockType::kReadOnly); });
}

// Walks `list` and runs `drop_prefix` + the row's `name_field` for every row whose
// `keys_field` names DataSys. A name that is not a regular identifier (SQL Server's
// own tools name indexes "NonClusteredIndex-20240105-093000") is bracketed. The walk ends when the
// end-of-list test or the move itself fails (a broken connection), so it can never repeat without end.
void DropWhereKeysNameDataSys(Recordset& list, Connection& connection, const char* keys_field,
                              const char* name_field, const char* drop_prefix) {
  for (;;) {
    bool at_end = true;
    try {
      at_end = list.Eof();
    } catch (const std::exception&) {
      return;
    }
    if (at_end) return;
    if (Met([&] { return Lower(list.Value(keys_field).ToString()).find("datasys") != std::string::npos; })) {
      Try([&] { connection.Execute(drop_prefix + csql::QuoteName(list.Value(name_field).ToString())); });
    }
    try {
      list.MoveNext();
    } catch (const std::exception&) {
      return;
    }
  }
}

void ShowConnectionError() {
  platform::ShowError(gErrCode, gErrDescription);
}

// State of one run; nothing survives it.
class Run {
 public:
  Run(ConversionView& view, const ConversionOptions& options) : view_(view), options_(options) {}
  // Hands each database to `visit` instead of changing it; no closing message.
  Run(ConversionView& view, DatabaseVisitor visit) : view_(view), visit_(std::move(visit)) {}

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
    if (!visit_) ShowClosingMessages();
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
    if (AlreadyConverted()) return;

    // The drops and the column change of one database form one transaction, so
    // that a database whose change fails keeps its indexes, statistics and
    // constraint instead of being left half-changed.
    bool in_transaction = false;
    Try([&] {
      database_.BeginTrans();
      in_transaction = true;
    });
    bool changed = false;
    if (options_.keep_dependents) {
      // Without a transaction a recreation that fails would leave its object
      // dropped for good.
      changed = in_transaction && ChangeKeepingDependents(database_);
    } else {
      DropIndexes();
      DropFirstConstraint();
      DropStatistics();
      try {
        changed = SharedCSql().SQLChangeField(database_, "MovCliente", "DataSys", "datetime null").ToBool();
      } catch (const std::exception&) {
        // An answer that cannot be read counts as a failed change.
      }
    }
    if (in_transaction) changed = Finish(changed);
    if (!changed) failed_list_ += name + ";";
    detected_list_ += name + ";";
  }

  // The type query joins on the storage type, so a column can come back under
  // several names: an alias type built on datetime ("DataHora") sorts before
  // "datetime" itself. The column is converted when any row says datetime; a row
  // that cannot be read counts as saying so.
  bool AlreadyConverted() {
    bool converted = false;
    Try([&] { type_result_.Open(kTypeQuery, database_, CursorType::kForwardOnly, LockType::kReadOnly); });
    if (Met([&] { return IsOpenAndNotEmpty(type_result_); })) {
      for (bool at_end = false; !converted && !at_end;) {
        converted = Met([&] { return Trim(Lower(type_result_.Value("name").ToString())) == "datetime"; });
        try {
          type_result_.MoveNext();
          at_end = type_result_.Eof();
        } catch (const std::exception&) {
          at_end = true;
        }
      }
    }
    Try([&] { type_result_.Close(); });
    return converted;
  }

  void DropIndexes() {
    OpenList(list_result_, kIndexListQuery, database_);
    if (Met([&] { return IsOpenAndNotEmpty(list_result_); })) {
      DropWhereKeysNameDataSys(list_result_, database_, "index_keys", "index_name", kDropIndex);
    }
    Try([&] { list_result_.Close(); });
  }

  // Only the first row of the constraint list is looked at.
  void DropFirstConstraint() {
    Try([&] { constraint_result_ = database_.Execute(kConstraintListQuery); });
    Try([&] { list_result_ = constraint_result_.NextRecordset(); });
    std::string constraint_name;
    if (Met([&] { return IsOpenAndNotEmpty(list_result_); })) {
      if (Met([&] {
            return Lower(list_result_.Value("constraint_type").ToString()).find("datasys") !=
                   std::string::npos;
          })) {
        Try([&] { constraint_name = list_result_.Value("constraint_name").ToString(); });
      }
    }
    if (!constraint_name.empty()) {
      Try([&] { database_.Execute(kDropConstraint + csql::QuoteName(constraint_name)); });
    }
    if (Met([&] { return constraint_result_.State() == platform::kStateOpen; })) {
      Try([&] { constraint_result_.Close(); });
    }
    if (Met([&] { return list_result_.State() == platform::kStateOpen; })) {
      Try([&] { list_result_.Close(); });
    }
  }

  void DropStatistics() {
    OpenList(list_result_, kStatisticsListQuery, database_);
    if (Met([&] { return list_result_.State() == platform::kStateOpen; })) {
      if (Met([&] { return !(list_result_.Bof() && list_result_.Eof()); })) {
        DropWhereKeysNameDataSys(list_result_, database_, "statistics_keys", "statistics_name",
                                 kDropStatistics);
      }
      Try([&] { list_result_.Close(); });
    }
  }

  // Commits a successful change, rolls back a failed one. A commit that fails
  // means the change did not happen, so it counts as failed.
  bool Finish(bool changed) {
    if (changed) {
      try {
        database_.CommitTrans();
        return true;
      } catch (const std::exception&) {
      }
    }
    Try([&] { database_.RollbackTrans(); });
    return false;
  }

  void ShowClosingMessages() const {
    if (!Trim(detected_list_).empty()) {
      platform::MsgBox(
          "Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: " + detected_list_,
          platform::kMsgBoxInformation);
    } else {
      platform::MsgBox("Processo Terminado!\rNão foram detectadas incosistências",
                       platform::kMsgBoxInformation);
    }
    if (!Trim(failed_list_).empty()) {
      platform::MsgBox("Não foi possível alterar as seguintes bases de dados: " + failed_list_,
                       platform::kMsgBoxCritical);
    }
  }

  ConversionView& view_;
  ConversionOptions options_;
  Connection master_;
  Connection database_;
  Recordset database_list_;
  Recordset type_result_;
  Recordset list_result_;
  Recordset constraint_result_;
  std::string detected_list_;
  std::string failed_list_;
  DatabaseVisitor visit_;
};

}  // namespace

ConversionOutcome RunConversion(ConversionView& view, const ConversionOptions& options) {
  return Run(view, options).Execute();
}

ConversionOutcome VisitConversionDatabases(ConversionView& view, DatabaseVisitor visit) {
  return Run(view, std::move(visit)).Execute();
}

}  // namespace app
