#include "database_conversion.h"

#include <string>

#include "app/conversion_statements.h"
#include "app/keep_dependents.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

namespace app::detail {
namespace {

using platform::Connection;
using platform::CursorType;
using platform::LockType;
using platform::Lower;
using platform::Recordset;
using platform::Trim;

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

}  // namespace

DatabaseResult DatabaseConversion::Convert(Connection& database) {
  database_ = &database;
  if (AlreadyConverted()) return {};

  // The drops and the column change of one database form one transaction, so
  // that a database whose change fails keeps its indexes, statistics and
  // constraint instead of being left half-changed.
  bool in_transaction = false;
  Try([&] {
    database_->BeginTrans();
    in_transaction = true;
  });
  bool changed = false;
  if (options_.keep_dependents) {
    // Without a transaction a recreation that fails would leave its object
    // dropped for good.
    changed = in_transaction && ChangeKeepingDependents(*database_);
  } else {
    DropIndexes();
    DropFirstConstraint();
    DropStatistics();
    try {
      changed = SharedCSql().SQLChangeField(*database_, "MovCliente", "DataSys", "datetime null").ToBool();
    } catch (const std::exception&) {
      // An answer that cannot be read counts as a failed change.
    }
  }
  if (in_transaction) changed = Finish(changed);
  return {true, !changed};
}

// The type query joins on the storage type, so a column can come back under
// several names: an alias type built on datetime ("DataHora") sorts before
// "datetime" itself. The column is converted when any row says datetime; a row
// that cannot be read counts as saying so.
bool DatabaseConversion::AlreadyConverted() {
  bool converted = false;
  Try([&] { type_result_.Open(kTypeQuery, *database_, CursorType::kForwardOnly, LockType::kReadOnly); });
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

void DatabaseConversion::DropIndexes() {
  OpenList(list_result_, kIndexListQuery, *database_);
  if (Met([&] { return IsOpenAndNotEmpty(list_result_); })) {
    DropWhereKeysNameDataSys(list_result_, *database_, "index_keys", "index_name", kDropIndex);
  }
  Try([&] { list_result_.Close(); });
}

// Only the first row of the constraint list is looked at.
void DatabaseConversion::DropFirstConstraint() {
  Try([&] { constraint_result_ = database_->Execute(kConstraintListQuery); });
  Try([&] { list_result_ = constraint_result_.NextRecordset(); });
  std::string constraint_name;
  if (Met([&] { return IsOpenAndNotEmpty(list_result_); })) {
    if (Met([&] {
          return Lower(list_result_.Value("constraint_type").ToString()).find("datasys") != std::string::npos;
        })) {
      Try([&] { constraint_name = list_result_.Value("constraint_name").ToString(); });
    }
  }
  if (!constraint_name.empty()) {
    Try([&] { database_->Execute(kDropConstraint + csql::QuoteName(constraint_name)); });
  }
  if (Met([&] { return constraint_result_.State() == platform::kStateOpen; })) {
    Try([&] { constraint_result_.Close(); });
  }
  if (Met([&] { return list_result_.State() == platform::kStateOpen; })) {
    Try([&] { list_result_.Close(); });
  }
}

void DatabaseConversion::DropStatistics() {
  OpenList(list_result_, kStatisticsListQuery, *database_);
  if (Met([&] { return list_result_.State() == platform::kStateOpen; })) {
    if (Met([&] { return !(list_result_.Bof() && list_result_.Eof()); })) {
      DropWhereKeysNameDataSys(list_result_, *database_, "statistics_keys", "statistics_name",
                               kDropStatistics);
    }
    Try([&] { list_result_.Close(); });
  }
}

// Commits a successful change, rolls back a failed one. A commit that fails
// means the change did not happen, so it counts as failed.
bool DatabaseConversion::Finish(bool changed) {
  if (changed) {
    try {
      database_->CommitTrans();
      return true;
    } catch (const std::exception&) {
    }
  }
  Try([&] { database_->RollbackTrans(); });
  return false;
}

void ShowClosingMessages(const std::string& detected_list, const std::string& failed_list) {
  if (!Trim(detected_list).empty()) {
    platform::MsgBox(
        "Processo Terminado!\r Foram detectadas falhas nas seguintes bases de dados: " + detected_list,
        platform::kMsgBoxInformation);
  } else {
    platform::MsgBox("Processo Terminado!\rNão foram detectadas incosistências",
                     platform::kMsgBoxInformation);
  }
  if (!Trim(failed_list).empty()) {
    platform::MsgBox("Não foi possível alterar as seguintes bases de dados: " + failed_list,
                     platform::kMsgBoxCritical);
  }
}

}  // namespace app::detail
