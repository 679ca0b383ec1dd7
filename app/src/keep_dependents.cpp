#include "app/keep_dependents.h"

#include <algorithm>

#include "app/conversion_statements.h"
#include "platform/text.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

namespace app {
namespace {

using platform::EqualsIgnoringCase;
using platform::Recordset;

constexpr const char* kColumn = "DataSys";

std::string Field(Recordset& rows, const char* name) {
  const platform::Variant value = rows.Value(name);
  return value.IsNull() ? std::string() : value.ToString();
}

bool Flag(Recordset& rows, const char* name) {
  const platform::Variant value = rows.Value(name);
  return !value.IsNull() && value.ToBool();
}

bool IsDataSys(const std::string& column) {
  return EqualsIgnoringCase(column, kColumn);
}

// The server stores every column an expression names between brackets.
bool ExpressionNamesDataSys(const std::string& expression) {
  return platform::Lower(expression).find("[datasys]") != std::string::npos;
}

bool HasRows(Recordset& rows) {
  return rows.State() == platform::kStateOpen && !rows.Eof();
}

// Rows come one per column, in order, grouped by their object's id.
template <typename Start, typename Add>
void ReadGrouped(Recordset& rows, const char* id_field, Start&& start, Add&& add) {
  std::string current;
  for (bool first = true; HasRows(rows); rows.MoveNext()) {
    const std::string id = Field(rows, id_field);
    if (first || id != current) start(rows);
    first = false;
    current = id;
    add(rows);
  }
}

std::string ColumnList(const std::vector<KeyColumn>& columns) {
  std::string list;
  for (const auto& column : columns) {
    if (!list.empty()) list += ", ";
    list += csql::BracketName(column.name) + (column.descending ? " DESC" : "");
  }
  return list;
}

std::string ColumnList(const std::vector<std::string>& columns) {
  std::vector<KeyColumn> keys;
  for (const auto& column : columns) keys.push_back({column, false});
  return ColumnList(keys);
}

bool UsesDataSys(const Dependent& dependent) {
  const auto named = [](const KeyColumn& key) { return IsDataSys(key.name); };
  return std::any_of(dependent.keys.begin(), dependent.keys.end(), named) ||
         std::any_of(dependent.included.begin(), dependent.included.end(), IsDataSys) ||
         ExpressionNamesDataSys(dependent.filter);
}

}  // namespace

std::vector<Dependent> DependentsIn(Recordset& indexes) {
  std::vector<Dependent> found;
  std::vector<Dependent> group;
  ReadGrouped(
      indexes, "index_id",
      [&](Recordset& rows) {
        Dependent index;
        index.name = Field(rows, "name");
        index.primary_key = Flag(rows, "is_primary_key");
        index.kind = index.primary_key || Flag(rows, "is_unique_constraint") ? Dependent::Kind::kKeyConstraint
                                                                             : Dependent::Kind::kIndex;
        index.unique = Flag(rows, "is_unique");
        const std::string type = Field(rows, "type_desc");
        index.clustered = EqualsIgnoringCase(type, "CLUSTERED");
        if (!index.clustered && !EqualsIgnoringCase(type, "NONCLUSTERED")) {
          index.unsupported = "a " + type + " index is not created again; the ALTER fails with 5074";
        }
        index.filter = Field(rows, "filter_definition");
        group.push_back(std::move(index));
      },
      [&](Recordset& rows) {
        const std::string column = Field(rows, "column_name");
        if (Flag(rows, "is_included_column")) {
          group.back().included.push_back(column);
        } else {
          group.back().keys.push_back({column, Flag(rows, "is_descending_key")});
        }
      });

  Recordset statistics = indexes.NextRecordset();
  ReadGrouped(
      statistics, "stats_id",
      [&](Recordset& rows) {
        Dependent statistic;
        statistic.kind = Dependent::Kind::kStatistics;
        statistic.name = Field(rows, "name");
        statistic.filter = Field(rows, "filter_definition");
        group.push_back(std::move(statistic));
      },
      [&](Recordset& rows) {
        group.back().keys.push_back({Field(rows, "column_name"), false});
      });
  for (auto& dependent : group) {
    if (UsesDataSys(dependent)) found.push_back(std::move(dependent));
  }

  Recordset defaults = statistics.NextRecordset();
  for (; HasRows(defaults); defaults.MoveNext()) {
    Dependent constraint;
    constraint.kind = Dependent::Kind::kDefault;
    constraint.name = Field(defaults, "name");
    constraint.column = Field(defaults, "column_name");
    constraint.definition = Field(defaults, "definition");
    if (IsDataSys(constraint.column)) found.push_back(std::move(constraint));
  }

  Recordset checks = defaults.NextRecordset();
  for (; HasRows(checks); checks.MoveNext()) {
    Dependent constraint;
    constraint.kind = Dependent::Kind::kCheck;
    constraint.name = Field(checks, "name");
    constraint.column = Field(checks, "column_name");
    constraint.definition = Field(checks, "definition");
    constraint.not_trusted = Flag(checks, "is_not_trusted");
    if (IsDataSys(constraint.column) || ExpressionNamesDataSys(constraint.definition)) {
      found.push_back(std::move(constraint));
    }
  }
  return found;
}

std::vector<Dependent> ReadDependents(platform::Connection& database) {
  Recordset indexes = database.Execute(kDependentsQuery);
  return DependentsIn(indexes);
}

std::string DropStatement(const Dependent& dependent) {
  switch (dependent.kind) {
    case Dependent::Kind::kIndex:
      return kDropIndex + csql::QuoteName(dependent.name);
    case Dependent::Kind::kStatistics:
      return kDropStatistics + csql::QuoteName(dependent.name);
    case Dependent::Kind::kKeyConstraint:
    case Dependent::Kind::kDefault:
    case Dependent::Kind::kCheck:
      return kDropConstraint + csql::QuoteName(dependent.name);
  }
  return {};
}

std::string CreateStatement(const Dependent& dependent) {
  const std::string name = csql::BracketName(dependent.name);
  const std::string where = dependent.filter.empty() ? "" : " WHERE " + dependent.filter;
  const char* const clustering = dependent.clustered ? "CLUSTERED" : "NONCLUSTERED";
  switch (dependent.kind) {
    case Dependent::Kind::kIndex: {
      std::string text = std::string("CREATE ") + (dependent.unique ? "UNIQUE " : "") + clustering +
                         " INDEX " + name + " ON MovCliente (" + ColumnList(dependent.keys) + ")";
      if (!dependent.included.empty()) text += " INCLUDE (" + ColumnList(dependent.included) + ")";
      return text + where;
    }
    case Dependent::Kind::kKeyConstraint:
      return "ALTER TABLE MovCliente ADD CONSTRAINT " + name +
             (dependent.primary_key ? " PRIMARY KEY " : " UNIQUE ") + clustering + " (" +
             ColumnList(dependent.keys) + ")";
    case Dependent::Kind::kStatistics:
      return "CREATE STATISTICS " + name + " ON MovCliente (" + ColumnList(dependent.keys) + ")" + where;
    case Dependent::Kind::kDefault:
      return "ALTER TABLE MovCliente ADD CONSTRAINT " + name + " DEFAULT " + dependent.definition + " FOR " +
             csql::BracketName(dependent.column);
    case Dependent::Kind::kCheck:
      // A check that was never verified against the table's rows is not verified now either.
      return std::string("ALTER TABLE MovCliente WITH ") + (dependent.not_trusted ? "NOCHECK" : "CHECK") +
             " ADD CONSTRAINT " + name + " CHECK " + dependent.definition;
  }
  return {};
}

std::optional<Recreation> RecognizeRecreation(std::string_view statement) {
  const auto starts = [&](std::string_view prefix) { return statement.substr(0, prefix.size()) == prefix; };
  std::string kind;
  std::string_view marker;
  if (starts("CREATE STATISTICS [")) {
    kind = "statistics";
    marker = "CREATE STATISTICS [";
  } else if (starts("CREATE ") && statement.find(" INDEX [") != std::string_view::npos) {
    kind = "index";
    marker = " INDEX [";
  } else if (starts("ALTER TABLE MovCliente ") &&
             statement.find(" ADD CONSTRAINT [") != std::string_view::npos) {
    kind = "constraint";
    marker = " ADD CONSTRAINT [";
  } else {
    return std::nullopt;
  }
  // The bracketed name after the marker, its doubled "]" undone.
  std::string name;
  for (std::size_t i = statement.find(marker) + marker.size(); i < statement.size(); ++i) {
    if (statement[i] == ']') {
      if (i + 1 < statement.size() && statement[i + 1] == ']') {
        ++i;
      } else {
        return Recreation{kind, name};
      }
    }
    name += statement[i];
  }
  return std::nullopt;
}

bool ChangeKeepingDependents(platform::Connection& database) {
  std::vector<Dependent> dependents;
  try {
    dependents = ReadDependents(database);
    // Dropped in the reverse of the order they come back in: a clustered index
    // last, so the others are not rebuilt on its account.
    for (auto it = dependents.rbegin(); it != dependents.rend(); ++it) {
      if (it->unsupported.empty()) database.Execute(DropStatement(*it));
    }
    if (!SharedCSql().SQLChangeField(database, "MovCliente", kColumn, "datetime null").ToBool()) return false;
    for (const auto& dependent : dependents) {
      if (dependent.unsupported.empty()) database.Execute(CreateStatement(dependent));
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace app
