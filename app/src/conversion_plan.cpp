// The dry run. Its predictions follow the run's own rules: an index or statistic
// is dropped when its key list names DataSys, a constraint only when it is the
// first row of the constraint list and its type text names DataSys; whatever else
// depends on the column makes the ALTER fail with 5074, and values that do not
// read as dates under the session's language make it fail with 241. Keeping the
// dependents, the run drops and creates again every dependent the catalogue views
// show, so only those it cannot create again stand in its way.
#include "app/conversion_plan.h"

#include <exception>

#include "app/conversion_statements.h"
#include "app/keep_dependents.h"
#include "platform/error.h"
#include "platform/text.h"
#include "sqllib/sql_quote.h"

namespace app {
namespace {

using platform::Connection;
using platform::Lower;
using platform::Recordset;

bool NamesDataSys(const std::string& text) {
  return Lower(text).find("datasys") != std::string::npos;
}

bool IsCharacterType(const std::string& type) {
  const std::string t = platform::Trim(Lower(type));
  return t == "char" || t == "varchar" || t == "nchar" || t == "nvarchar" || t == "text" || t == "ntext" ||
         t == "sysname";
}

std::string Field(Recordset& rows, const char* name) {
  const platform::Variant value = rows.Value(name);
  return value.IsNull() ? std::string() : value.ToString();
}

// The rows of `query`'s first result; nothing when it fails (its error is
// recorded as a finding when `finding` is given).
template <typename Row>
void ReadRows(Connection& database, const std::string& query, Row&& row, std::vector<std::string>* findings) {
  try {
    Recordset rows = database.Execute(query);
    for (; rows.State() == platform::kStateOpen && !rows.Eof(); rows.MoveNext()) row(rows);
  } catch (const platform::Error& error) {
    if (findings != nullptr) {
      findings->push_back("could not run \"" + query + "\": " + std::to_string(error.Number()) + " " +
                          error.Description());
    }
  }
}

void PlanIndexes(Connection& database, DatabasePlan& plan, std::vector<std::string>& dropped) {
  plan.statements.push_back(kIndexListQuery);
  ReadRows(
      database, kIndexListQuery,
      [&](Recordset& rows) {
        const std::string name = Field(rows, "index_name");
        if (!NamesDataSys(Field(rows, "index_keys"))) return;
        const std::string description = Lower(Field(rows, "index_description"));
        if (description.find("primary key") != std::string::npos ||
            description.find("unique key") != std::string::npos) {
          // A DROP INDEX on a key constraint's index is refused.
          plan.reasons.push_back("index " + name +
                                 " belongs to a PRIMARY KEY or UNIQUE constraint: its drop fails with 3723 "
                                 "and the ALTER with 5074");
        } else {
          dropped.push_back(name);
        }
        plan.statements.push_back(kDropIndex + csql::QuoteName(name));
      },
      nullptr);
}

void PlanConstraints(Connection& database, DatabasePlan& plan) {
  plan.statements.push_back(kConstraintListQuery);
  try {
    Recordset first = database.Execute(kConstraintListQuery);
    Recordset rows = first.NextRecordset();
    for (bool first_row = true; rows.State() == platform::kStateOpen && !rows.Eof(); rows.MoveNext()) {
      const std::string type = Field(rows, "constraint_type");
      const std::string name = Field(rows, "constraint_name");
      const bool on_datasys = NamesDataSys(type) || NamesDataSys(Field(rows, "constraint_keys"));
      if (first_row && NamesDataSys(type)) {
        plan.statements.push_back(kDropConstraint + csql::QuoteName(name));
      } else if (on_datasys) {
        plan.reasons.push_back(
            "constraint " + name + " (" + type + ") depends on DataSys and the run keeps it" +
            (first_row ? "" : ": it is not the first constraint row") + "; the ALTER fails with 5074");
      }
      first_row = false;
    }
  } catch (const platform::Error&) {
    // No table or no constraints: nothing to drop.
  }
}

void PlanStatistics(Connection& database, DatabasePlan& plan) {
  plan.statements.push_back(kStatisticsListQuery);
  ReadRows(
      database, kStatisticsListQuery,
      [&](Recordset& rows) {
        if (NamesDataSys(Field(rows, "statistics_keys"))) {
          plan.statements.push_back(kDropStatistics + csql::QuoteName(Field(rows, "statistics_name")));
        }
      },
      nullptr);
}

void PlanHiddenIndexes(Connection& database, DatabasePlan& plan, const std::vector<std::string>& dropped) {
  ReadRows(
      database, kHiddenIndexQuery,
      [&](Recordset& rows) {
        const std::string name = Field(rows, "name");
        for (const auto& gone : dropped) {
          if (platform::EqualsIgnoringCase(gone, name)) return;
        }
        plan.reasons.push_back("index " + name +
                               " uses DataSys as an included column or in its filter, which the run does not "
                               "see; the ALTER fails with 5074");
      },
      &plan.findings);
}

void PlanValues(Connection& database, DatabasePlan& plan) {
  ReadRows(
      database, kUnconvertibleCount,
      [&](Recordset& rows) { plan.unconvertible_values = rows.Value("n").ToLong(); }, &plan.findings);
  if (plan.unconvertible_values == 0) return;
  ReadRows(
      database, kUnconvertibleExamples,
      [&](Recordset& rows) { plan.examples.push_back(Field(rows, "DataSys")); }, &plan.findings);
  std::string reason = std::to_string(plan.unconvertible_values) +
                       " values do not read as dates under the session's language and date format; the ALTER "
                       "fails with 241";
  if (!plan.examples.empty()) {
    reason += " (for example";
    for (const auto& example : plan.examples) reason += " '" + example + "'";
    reason += ")";
  }
  plan.reasons.push_back(reason);
}

// The run that keeps the dependents: its drops, the ALTER and the recreations.
void PlanKeepingDependents(Connection& database, DatabasePlan& plan) {
  plan.statements.push_back(kDependentsQuery);
  std::vector<Dependent> dependents;
  try {
    dependents = ReadDependents(database);
  } catch (const platform::Error& error) {
    plan.reasons.push_back("the catalogue views could not be read (" + std::to_string(error.Number()) + " " +
                           error.Description() + "); nothing would be dropped");
  }
  for (auto it = dependents.rbegin(); it != dependents.rend(); ++it) {
    if (it->unsupported.empty()) {
      plan.statements.push_back(DropStatement(*it));
    } else {
      plan.reasons.push_back(it->name + ": " + it->unsupported);
    }
  }
  plan.statements.push_back(kAlterDataSys);
  for (const auto& dependent : dependents) {
    if (!dependent.unsupported.empty()) continue;
    plan.statements.push_back(CreateStatement(dependent));
    // The column comes out nullable, which a primary key does not allow.
    if (dependent.kind == Dependent::Kind::kKeyConstraint && dependent.primary_key) {
      plan.reasons.push_back("primary key " + dependent.name +
                             " cannot be created again on the nullable column: it fails with 8111");
    }
  }
}

}  // namespace

const char* PredictionText(DatabasePlan::Prediction prediction) {
  switch (prediction) {
    case DatabasePlan::Prediction::kAlreadyConverted:
      return "already converted";
    case DatabasePlan::Prediction::kWillConvert:
      return "will convert";
    case DatabasePlan::Prediction::kWillFail:
      return "will fail";
  }
  return "";
}

DatabasePlan PlanDatabase(Connection& database, const std::string& name, const ConversionOptions& options) {
  DatabasePlan plan;
  plan.name = name;
  plan.statements.push_back(kTypeQuery);
  ReadRows(
      database, kTypeQuery, [&](Recordset& rows) { plan.types.push_back(Field(rows, "name")); },
      &plan.findings);
  for (const auto& type : plan.types) {
    if (platform::Trim(Lower(type)) == "datetime") {
      plan.prediction = DatabasePlan::Prediction::kAlreadyConverted;
      return plan;
    }
  }
  plan.statements.push_back("BEGIN TRANSACTION");
  if (plan.types.empty()) {
    plan.reasons.push_back("the table MovCliente or its column DataSys does not exist; the ALTER fails");
  }
  if (options.keep_dependents) {
    PlanKeepingDependents(database, plan);
  } else {
    std::vector<std::string> dropped;
    PlanIndexes(database, plan, dropped);
    PlanConstraints(database, plan);
    PlanStatistics(database, plan);
    if (!plan.types.empty()) PlanHiddenIndexes(database, plan, dropped);
    plan.statements.push_back(kAlterDataSys);
  }
  if (!plan.types.empty() && IsCharacterType(plan.types.front())) PlanValues(database, plan);
  plan.statements.push_back(plan.reasons.empty() ? "COMMIT TRANSACTION" : "ROLLBACK TRANSACTION");
  plan.prediction =
      plan.reasons.empty() ? DatabasePlan::Prediction::kWillConvert : DatabasePlan::Prediction::kWillFail;
  return plan;
}

ConversionOutcome PlanConversion(ConversionView& view,
                                 const std::function<void(const DatabasePlan&)>& on_plan,
                                 const ConversionOptions& options, const RunControl* control) {
  std::string detected;
  std::string failed;
  ConversionOutcome outcome = VisitConversionDatabases(
      view,
      [&](Connection& database, const std::string& name) {
        const DatabasePlan plan = PlanDatabase(database, name, options);
        if (plan.prediction != DatabasePlan::Prediction::kAlreadyConverted) detected += name + ";";
        if (plan.prediction == DatabasePlan::Prediction::kWillFail) failed += name + ";";
        on_plan(plan);
      },
      control);
  outcome.detected_list = detected;
  outcome.failed_list = failed;
  return outcome;
}

}  // namespace app
