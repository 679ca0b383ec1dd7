// Keeping what depends on MovCliente.DataSys across its type change
// (tavinor-convert --keep-dependents). Every index that uses the column (as a
// key, an included column or in its filter), every user-created statistic on it,
// its default and every check constraint that names it are read from the
// catalogue views with their full definitions, dropped, and created again after
// the ALTER COLUMN, inside the database's transaction.
//
// Automatic statistics are left to the server: ALTER COLUMN drops them itself
// and the optimiser builds them again, under a new name, when a query needs them.
// A foreign key that uses the column is not kept: the ALTER COLUMN then fails
// naming it, and the change is rolled back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/session.h"

namespace app {

// One request per database: the indexes of MovCliente with their columns, its
// user-created statistics with their columns, its defaults and its check
// constraints, as four result sets (SQL Server 2008 and later).
inline constexpr const char* kDependentsQuery =
    "select i.index_id, i.name, i.type_desc, i.is_unique, i.is_primary_key, i.is_unique_constraint, "
    "i.filter_definition, c.name as column_name, ic.key_ordinal, ic.is_descending_key, ic.is_included_column "
    "from sys.indexes i "
    "join sys.index_columns ic on ic.object_id = i.object_id and ic.index_id = i.index_id "
    "join sys.columns c on c.object_id = ic.object_id and c.column_id = ic.column_id "
    "where i.object_id = object_id('MovCliente') "
    "order by i.index_id, ic.is_included_column, ic.key_ordinal, ic.index_column_id; "
    "select s.stats_id, s.name, s.filter_definition, c.name as column_name "
    "from sys.stats s "
    "join sys.stats_columns sc on sc.object_id = s.object_id and sc.stats_id = s.stats_id "
    "join sys.columns c on c.object_id = sc.object_id and c.column_id = sc.column_id "
    "where s.object_id = object_id('MovCliente') and s.user_created = 1 "
    "order by s.stats_id, sc.stats_column_id; "
    "select d.name, c.name as column_name, d.definition "
    "from sys.default_constraints d "
    "join sys.columns c on c.object_id = d.parent_object_id and c.column_id = d.parent_column_id "
    "where d.parent_object_id = object_id('MovCliente'); "
    "select k.name, c.name as column_name, k.definition, k.is_not_trusted "
    "from sys.check_constraints k "
    "left join sys.columns c on c.object_id = k.parent_object_id and c.column_id = k.parent_column_id "
    "where k.parent_object_id = object_id('MovCliente')";

struct KeyColumn {
  std::string name;
  bool descending = false;
};

// An object that depends on DataSys, with what it takes to create it again.
struct Dependent {
  enum class Kind { kIndex, kKeyConstraint, kStatistics, kDefault, kCheck };
  Kind kind = Kind::kIndex;
  std::string name;
  // Indexes and PRIMARY KEY / UNIQUE constraints.
  bool unique = false;
  bool clustered = false;
  bool primary_key = false;
  std::vector<KeyColumn> keys;        // also the columns of a statistic
  std::vector<std::string> included;  // INCLUDE columns
  std::string filter;                 // WHERE of a filtered index or statistic, as stored
  // Defaults and checks.
  std::string column;      // a default's column
  std::string definition;  // the expression, as stored ("(getdate())")
  bool not_trusted = false;
  // Why it cannot be created again exactly; empty when it can.
  std::string unsupported;
};

// The dependents of DataSys among the four result sets of kDependentsQuery,
// indexes first, then statistics, defaults and checks, each in the server's
// order. A check depends on the column when it is the column's own check or its
// stored definition names [DataSys] (the server stores column names bracketed).
std::vector<Dependent> DependentsIn(platform::Recordset& indexes);

// Runs kDependentsQuery on `database` and reads its answer; throws platform::Error
// when the server refuses it.
std::vector<Dependent> ReadDependents(platform::Connection& database);

// The statement that drops `dependent`, in the run's own words, and the one that
// creates it again; names are bracketed, expressions sent as the server stored them.
std::string DropStatement(const Dependent& dependent);
std::string CreateStatement(const Dependent& dependent);

// Whether a statement is one that CreateStatement makes, and of which object.
struct Recreation {
  std::string kind;  // "index", "statistics" or "constraint"
  std::string name;
};
std::optional<Recreation> RecognizeRecreation(std::string_view statement);

// The change of one database, on its open connection inside its transaction:
// reads the dependents, drops them, alters DataSys and creates them again. Stops
// at the first statement that fails (the caller then rolls back; going on could
// run the rest outside a transaction the server already ended) and returns false;
// true when everything ran.
bool ChangeKeepingDependents(platform::Connection& database);

}  // namespace app
