// sp_help: without an argument the database's objects; for a table its description in the server's order
// (object, columns, identity, rowguidcol, filegroup, then the sp_helpindex and sp_helpconstraint output); for
// a procedure its parameters.
#include <algorithm>

#include "engine/help_procs.h"

namespace standin {

namespace {

SqlType T(const char* text) {
  return *ParseSqlType(text);
}

// Prec and Scale are char(5): filled, left-aligned, only for the numeric types.
Value Char5(const std::string& text) {
  return Value(text + std::string(text.size() < 5 ? 5 - text.size() : 0, ' '));
}

std::pair<Value, Value> PrecisionAndScale(const SqlType& t) {
  switch (t.base) {
    case BaseType::kTinyInt:
      return {Char5("3"), Char5("0")};
    case BaseType::kSmallInt:
      return {Char5("5"), Char5("0")};
    case BaseType::kInt:
      return {Char5("10"), Char5("0")};
    case BaseType::kBigInt:
      return {Char5("19"), Char5("0")};
    case BaseType::kReal:
      return {Char5("24"), Value{}};
    case BaseType::kFloat:
      return {Char5("53"), Value{}};
    case BaseType::kMoney:
      return {Char5("19"), Char5("4")};
    case BaseType::kSmallMoney:
      return {Char5("10"), Char5("4")};
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      return {Char5(std::to_string(t.precision)), Char5(std::to_string(t.scale))};
    default:
      return {Char5(""), Char5("")};
  }
}

int NumericPrecision(const SqlType& t) {
  std::string text = Trim(PrecisionAndScale(t).first.ToText());
  return text.empty() ? 0 : std::stoi(text);
}

void DescribeTable(ExecContext& ctx, ProcCall& call, Database& db, TableDef& table,
                   const std::string& written) {
  ResultSet object;
  object.columns = {{"Name", T("sysname"), false},
                    {"Owner", T("sysname"), false},
                    {"Type", T("nvarchar(31)"), false},
                    {"Created_datetime", T("datetime"), false}};
  object.rows.push_back({Value(table.name), Value(table.owner), Value("user table"), Value(db.created)});
  ctx.Rows(std::move(object));

  ResultSet columns;
  columns.columns = {{"Column_name", T("sysname"), true},
                     {"Type", T("sysname"), true},
                     {"Computed", T("varchar(35)"), false},
                     {"Length", T("int"), false},
                     {"Prec", T("char(5)"), true},
                     {"Scale", T("char(5)"), true},
                     {"Nullable", T("varchar(35)"), false},
                     {"TrimTrailingBlanks", T("varchar(35)"), false},
                     {"FixedLenNullInSource", T("varchar(35)"), false},
                     {"Collation", T("sysname"), true}};
  const ColumnDef* identity = nullptr;
  for (const auto& c : table.columns) {
    if (c.identity) identity = &c;
    auto [prec, scale] = PrecisionAndScale(c.type);
    bool padded = c.type.base == BaseType::kChar || c.type.base == BaseType::kVarChar ||
                  c.type.base == BaseType::kBinary || c.type.base == BaseType::kVarBinary;
    bool trim_applies = padded || c.type.base == BaseType::kNChar || c.type.base == BaseType::kNVarChar;
    columns.rows.push_back({Value(c.name), Value(c.type.Name()), Value("no"), Value(c.type.ByteLength()),
                            prec, scale, Value(c.nullable ? "yes" : "no"),
                            Value(trim_applies ? "no" : "(n/a)"),
                            Value(padded ? (c.nullable ? "yes" : "no") : "(n/a)"),
                            c.type.IsCharacter() ? Value("SQL_Latin1_General_CP1_CI_AS") : Value{}});
  }
  ctx.Rows(std::move(columns));

  ResultSet identity_set;
  identity_set.columns = {{"Identity", T("sysname"), true},
                          {"Seed", T("numeric(38,0)"), true},
                          {"Increment", T("numeric(38,0)"), true},
                          {"Not For Replication", T("int"), true}};
  if (identity) {
    identity_set.rows.push_back({Value(identity->name), Value(Decimal{identity->seed, 0}),
                                 Value(Decimal{identity->increment, 0}), Value(0)});
  } else {
    identity_set.rows.push_back({Value("No identity column defined."), Value{}, Value{}, Value{}});
  }
  ctx.Rows(std::move(identity_set));

  ResultSet rowguid;
  rowguid.columns = {{"RowGuidCol", T("sysname"), false}};
  const auto guid = std::find_if(table.columns.begin(), table.columns.end(),
                                 [](const ColumnDef& c) { return c.rowguidcol; });
  rowguid.rows.push_back({Value(guid == table.columns.end() ? "No rowguidcol column defined." : guid->name)});
  ctx.Rows(std::move(rowguid));

  ResultSet filegroup;
  filegroup.columns = {{"Data_located_on_filegroup", T("sysname"), true}};
  filegroup.rows.push_back({Value("PRIMARY")});
  ctx.Rows(std::move(filegroup));

  ProcCall index_call{"sp_helpindex", {ProcArg{"", Value(written), NVarCharType(776), false, false}}, 0, {}};
  HelpIndex(ctx, index_call);
  ProcCall constraint_call{"sp_helpconstraint",
                           {ProcArg{"", Value(written), NVarCharType(776), false, false},
                            ProcArg{"", Value("nomsg"), VarCharType(5), false, false}},
                           0,
                           {}};
  HelpConstraint(ctx, constraint_call);
  ctx.Info(15647, "No views with schema binding reference table '" + written + "'.");
  call.return_status = 0;
}

void DescribeProcedure(ExecContext& ctx, Database& db, ProcedureDef& proc) {
  ResultSet object;
  object.columns = {{"Name", T("sysname"), false},
                    {"Owner", T("sysname"), false},
                    {"Type", T("nvarchar(31)"), false},
                    {"Created_datetime", T("datetime"), false}};
  object.rows.push_back({Value(proc.name), Value(proc.owner), Value("stored procedure"), Value(db.created)});
  ctx.Rows(std::move(object));
  if (proc.params.empty()) return;
  ResultSet params;
  params.columns = {{"Parameter_name", T("sysname"), true},
                    {"Type", T("sysname"), true},
                    {"Length", T("smallint"), true},
                    {"Prec", T("int"), true},
                    {"Scale", T("int"), true},
                    {"Param_order", T("int"), true},
                    {"Collation", T("sysname"), true}};
  int order = 0;
  for (const auto& p : proc.params) {
    params.rows.push_back({Value(p.name), Value(p.type.Name()), Value(p.type.ByteLength()),
                           Value(p.type.IsCharacter() ? p.type.length : NumericPrecision(p.type)),
                           Value(p.type.scale), Value(++order),
                           p.type.IsCharacter() ? Value("SQL_Latin1_General_CP1_CI_AS") : Value{}});
  }
  ctx.Rows(std::move(params));
}

}  // namespace

void Help(ExecContext& ctx, ProcCall& call) {
  Database* db = ctx.CurrentDb();
  const ProcArg* arg = call.Arg(0, "@objname");
  if (!arg || arg->value.IsNull()) {
    ResultSet objects;
    objects.columns = {{"Name", T("sysname"), true},
                       {"Owner", T("sysname"), true},
                       {"Object_type", T("nvarchar(31)"), true}};
    for (const auto& t : db->tables)
      objects.rows.push_back({Value(t.name), Value(t.owner), Value("user table")});
    for (const auto& p : db->procedures) {
      objects.rows.push_back({Value(p.name), Value(p.owner), Value("stored procedure")});
    }
    std::sort(objects.rows.begin(), objects.rows.end(),
              [](const auto& a, const auto& b) { return Lower(a[0].ToText()) < Lower(b[0].ToText()); });
    ctx.Rows(std::move(objects));
    return;
  }
  std::string written = arg->value.ToText();
  if (TableDef* table = db->FindTable(written)) return DescribeTable(ctx, call, *db, *table, written);
  if (ProcedureDef* proc = db->FindProcedure(written)) return DescribeProcedure(ctx, *db, *proc);
  ctx.Error(15009, 16, 1,
            "The object '" + written + "' does not exist in database '" + db->name +
                "' or is invalid for this operation.");
  call.return_status = 1;
}

}  // namespace standin
