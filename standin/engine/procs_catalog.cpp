// The ODBC catalogue procedures: sp_tables, sp_columns, sp_stored_procedures, and sp_indexes, which describes
// tables of linked servers only and so fails with 201 when @table_server is not given.
#include <algorithm>
#include <tuple>

#include "engine/statement_registry.h"

namespace standin {

namespace {

SqlType T(const char* text) {
  return *ParseSqlType(text);
}

// A LIKE-pattern argument; an absent or NULL one matches everything.
std::string PatternArg(const ProcCall& call, size_t position, std::string_view name) {
  const ProcArg* arg = call.Arg(position, name);
  return arg && !arg->value.IsNull() ? arg->value.ToText() : "%";
}

bool InCurrentDatabase(ExecContext& ctx, const ProcCall& call, size_t position, std::string_view name) {
  const ProcArg* arg = call.Arg(position, name);
  return !arg || arg->value.IsNull() || NamesEqual(arg->value.ToText(), ctx.CurrentDb()->name);
}

bool LessCi(const std::string& a, const std::string& b) {
  return Lower(a) < Lower(b);
}

void Tables(ExecContext& ctx, ProcCall& call) {
  Database* db = ctx.CurrentDb();
  const std::string name = PatternArg(call, 0, "@table_name");
  const std::string owner = PatternArg(call, 1, "@table_owner");
  const ProcArg* types = call.Arg(3, "@table_type");
  // The type list is written "'TABLE','VIEW'"; user tables are the only objects listed here.
  const bool tables_wanted =
      !types || types->value.IsNull() || Lower(types->value.ToText()).find("'table'") != std::string::npos;
  ResultSet rs;
  rs.columns = {{"TABLE_QUALIFIER", T("sysname"), true},
                {"TABLE_OWNER", T("sysname"), true},
                {"TABLE_NAME", T("sysname"), true},
                {"TABLE_TYPE", T("varchar(32)"), true},
                {"REMARKS", T("varchar(254)"), true}};
  std::vector<const TableDef*> found;
  if (tables_wanted && InCurrentDatabase(ctx, call, 2, "@table_qualifier")) {
    for (const auto& t : db->tables) {
      if (LikeMatch(t.name, name) && LikeMatch(t.owner, owner)) found.push_back(&t);
    }
  }
  std::sort(found.begin(), found.end(), [](auto* a, auto* b) {
    return std::make_tuple(Lower(a->owner), Lower(a->name)) <
           std::make_tuple(Lower(b->owner), Lower(b->name));
  });
  for (const TableDef* t : found)
    rs.rows.push_back({Value(db->name), Value(t->owner), Value(t->name), Value("TABLE"), Value{}});
  ctx.Rows(std::move(rs));
}

// How sp_columns (ODBC version 2) describes a column type.
struct OdbcType {
  int data_type = 0;
  Value precision, length, scale, radix;
  int legacy_type = 0;  // SS_DATA_TYPE
};

OdbcType Describe(const ColumnDef& c) {
  const SqlType& t = c.type;
  const int n = t.length;
  const Value ten(10);
  const int int_code = c.nullable ? 38 : 0;
  switch (t.base) {
    case BaseType::kTinyInt:
      return {-6, Value(3), Value(1), Value(0), ten, int_code ? int_code : 48};
    case BaseType::kSmallInt:
      return {5, Value(5), Value(2), Value(0), ten, int_code ? int_code : 52};
    case BaseType::kInt:
      return {4, Value(10), Value(4), Value(0), ten, int_code ? int_code : 56};
    case BaseType::kBigInt:
      return {-5, Value(19), Value(8), Value(0), ten, int_code ? int_code : 63};
    case BaseType::kBit:
      return {-7, Value(1), Value(1), Value{}, Value{}, 50};
    case BaseType::kReal:
      return {7, Value(7), Value(4), Value{}, ten, c.nullable ? 109 : 59};
    case BaseType::kFloat:
      return {6, Value(15), Value(8), Value{}, ten, c.nullable ? 109 : 62};
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      return {t.base == BaseType::kDecimal ? 3 : 2,
              Value(t.precision),
              Value(t.precision + 2),
              Value(t.scale),
              ten,
              t.base == BaseType::kDecimal ? 106 : 108};
    case BaseType::kMoney:
      return {3, Value(19), Value(21), Value(4), ten, c.nullable ? 110 : 60};
    case BaseType::kSmallMoney:
      return {3, Value(10), Value(12), Value(4), ten, c.nullable ? 110 : 122};
    case BaseType::kDateTime:
      return {11, Value(23), Value(16), Value(3), Value{}, c.nullable ? 111 : 61};
    case BaseType::kSmallDateTime:
      return {11, Value(16), Value(16), Value(0), Value{}, c.nullable ? 111 : 58};
    case BaseType::kChar:
      return {1, Value(n), Value(n), Value{}, Value{}, 47};
    case BaseType::kVarChar:
      return n < 0 ? OdbcType{-1, Value(2147483647), Value(2147483647), Value{}, Value{}, 35}
                   : OdbcType{12, Value(n), Value(n), Value{}, Value{}, 39};
    case BaseType::kNChar:
      return {-8, Value(n), Value(n * 2), Value{}, Value{}, 39};
    case BaseType::kNVarChar:
      return n < 0 ? OdbcType{-10, Value(1073741823), Value(2147483646), Value{}, Value{}, 35}
                   : OdbcType{-9, Value(n), Value(n * 2), Value{}, Value{}, 39};
    case BaseType::kText:
      return {-1, Value(2147483647), Value(2147483647), Value{}, Value{}, 35};
    case BaseType::kNText:
      return {-10, Value(1073741823), Value(2147483646), Value{}, Value{}, 35};
    case BaseType::kBinary:
      return {-2, Value(n), Value(n), Value{}, Value{}, 45};
    case BaseType::kVarBinary:
      return n < 0 ? OdbcType{-4, Value(2147483647), Value(2147483647), Value{}, Value{}, 34}
                   : OdbcType{-3, Value(n), Value(n), Value{}, Value{}, 37};
    case BaseType::kImage:
      return {-4, Value(2147483647), Value(2147483647), Value{}, Value{}, 34};
    case BaseType::kUniqueIdentifier:
      return {-11, Value(36), Value(16), Value{}, Value{}, 0};
  }
  return {};
}

// The type name sp_columns shows: (max) types under their legacy names, identity columns marked.
std::string OdbcTypeName(const ColumnDef& c) {
  const SqlType& t = c.type;
  std::string name = t.Name();
  if (t.length < 0 && t.base == BaseType::kVarChar) name = "text";
  if (t.length < 0 && t.base == BaseType::kNVarChar) name = "ntext";
  if (t.length < 0 && t.base == BaseType::kVarBinary) name = "image";
  if (!c.identity) return name;
  return t.base == BaseType::kDecimal || t.base == BaseType::kNumeric ? name + "() identity"
                                                                      : name + " identity";
}

void Columns(ExecContext& ctx, ProcCall& call) {
  Database* db = ctx.CurrentDb();
  const ProcArg* table_arg = call.Arg(0, "@table_name");
  if (!table_arg) {
    ctx.Error(201, 16, 4,
              "Procedure or function 'sp_columns' expects parameter '@table_name', which was not supplied.");
    call.return_status = 1;
    return;
  }
  const std::string name = table_arg->value.ToText();
  const std::string owner = PatternArg(call, 1, "@table_owner");
  const std::string column = PatternArg(call, 3, "@column_name");
  ResultSet rs;
  rs.columns = {{"TABLE_QUALIFIER", T("sysname"), true},
                {"TABLE_OWNER", T("sysname"), true},
                {"TABLE_NAME", T("sysname"), true},
                {"COLUMN_NAME", T("sysname"), true},
                {"DATA_TYPE", T("smallint"), true},
                {"TYPE_NAME", T("sysname"), true},
                {"PRECISION", T("int"), true},
                {"LENGTH", T("int"), true},
                {"SCALE", T("smallint"), true},
                {"RADIX", T("smallint"), true},
                {"NULLABLE", T("smallint"), true},
                {"REMARKS", T("varchar(254)"), true},
                {"COLUMN_DEF", T("nvarchar(4000)"), true},
                {"SQL_DATA_TYPE", T("smallint"), true},
                {"SQL_DATETIME_SUB", T("smallint"), true},
                {"CHAR_OCTET_LENGTH", T("int"), true},
                {"ORDINAL_POSITION", T("int"), true},
                {"IS_NULLABLE", T("varchar(254)"), true},
                {"SS_DATA_TYPE", T("tinyint"), true}};
  std::vector<const TableDef*> tables;
  if (InCurrentDatabase(ctx, call, 2, "@table_qualifier")) {
    for (const auto& t : db->tables) {
      if (LikeMatch(t.name, name) && LikeMatch(t.owner, owner)) tables.push_back(&t);
    }
  }
  std::sort(tables.begin(), tables.end(), [](auto* a, auto* b) { return LessCi(a->name, b->name); });
  for (const TableDef* t : tables) {
    for (size_t k = 0; k < t->columns.size(); ++k) {
      const ColumnDef& c = t->columns[k];
      if (!LikeMatch(c.name, column)) continue;
      OdbcType o = Describe(c);
      Value def;
      for (const auto& con : t->constraints) {
        if (con.kind == ConstraintKind::kDefault && NamesEqual(con.columns.at(0).column, c.name))
          def = Value(con.expression);
      }
      const bool datetime = c.type.IsDateTime();
      const bool octets = c.type.IsCharacter() || c.type.IsBinary();
      rs.rows.push_back({Value(db->name), Value(t->owner), Value(t->name), Value(c.name), Value(o.data_type),
                         Value(OdbcTypeName(c)), o.precision, o.length, o.scale, o.radix,
                         Value(c.nullable ? 1 : 0), Value{}, def, Value(datetime ? 9 : o.data_type),
                         datetime ? Value(3) : Value{}, octets ? o.length : Value{},
                         Value(static_cast<int64_t>(k + 1)), Value(c.nullable ? "YES" : "NO"),
                         Value(o.legacy_type)});
    }
  }
  ctx.Rows(std::move(rs));
}

void StoredProcedures(ExecContext& ctx, ProcCall& call) {
  Database* db = ctx.CurrentDb();
  const std::string name = PatternArg(call, 0, "@sp_name");
  const std::string owner = PatternArg(call, 1, "@sp_owner");
  ResultSet rs;
  rs.columns = {{"PROCEDURE_QUALIFIER", T("sysname"), true},  {"PROCEDURE_OWNER", T("sysname"), true},
                {"PROCEDURE_NAME", T("nvarchar(134)"), true}, {"NUM_INPUT_PARAMS", T("int"), true},
                {"NUM_OUTPUT_PARAMS", T("int"), true},        {"NUM_RESULT_SETS", T("int"), true},
                {"REMARKS", T("varchar(254)"), true},         {"PROCEDURE_TYPE", T("smallint"), true}};
  // The server's own procedures are listed too, owned by sys.
  std::vector<std::pair<std::string, std::string>> listed;
  for (const auto& p : db->procedures) listed.push_back({p.owner, p.name});
  for (const auto& p : Builtins().ProcedureNames()) listed.push_back({"sys", p});
  std::erase_if(listed,
                [&](const auto& p) { return !LikeMatch(p.first, owner) || !LikeMatch(p.second, name); });
  std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) {
    return std::make_tuple(Lower(a.first), Lower(a.second)) <
           std::make_tuple(Lower(b.first), Lower(b.second));
  });
  for (const auto& [procedure_owner, procedure_name] : listed) {
    rs.rows.push_back({Value(db->name), Value(procedure_owner), Value(procedure_name + ";1"), Value(-1),
                       Value(-1), Value(-1), Value{}, Value(2)});
  }
  ctx.Rows(std::move(rs));
}

// sp_indexes reads a linked server's catalogue: its first parameter, @table_server, has no default.
void Indexes(ExecContext& ctx, ProcCall& call) {
  if (!call.Arg(0, "@table_server")) {
    ctx.Error(
        201, 16, 4,
        "Procedure or function 'sp_indexes' expects parameter '@table_server', which was not supplied.");
    call.return_status = 1;
    return;
  }
  const std::string server = call.Arg(0, "@table_server")->value.ToText();
  ctx.Error(
      7202, 11, 2,
      "Could not find server '" + server +
          "' in sys.servers. Verify that the correct server name was specified. If necessary, execute the "
          "stored procedure sp_addlinkedserver to add the server to sys.servers.");
  call.return_status = 1;
}

}  // namespace

void RegisterCatalogProcedures(StatementRegistry& r) {
  r.AddProcedure("sp_tables", Tables);
  r.AddProcedure("sp_columns", Columns);
  r.AddProcedure("sp_stored_procedures", StoredProcedures);
  r.AddProcedure("sp_indexes", Indexes);
}

}  // namespace standin
