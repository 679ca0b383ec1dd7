// SELECT statements: the catalogue join that reads a column's type names, and simple single-table selects
// over user tables and the compatibility views (columns or *, WHERE with AND-ed comparisons, LIKE, IS NULL,
// IN, ORDER BY, TOP), as well as selects without FROM (@@version, db_name(), literals).
#include <algorithm>

#include "engine/statement_registry.h"
#include "engine/system_tables.h"

namespace standin {

namespace {

bool IsP(const Token& t, std::string_view p) {
  return t.kind == TokenKind::kPunct && t.text == p;
}
bool IsW(const Token& t, std::string_view w) {
  return t.kind == TokenKind::kWord && NamesEqual(t.text, w);
}

// Joining syscolumns to systypes on xtype gives one row per type sharing the column's physical type, in
// systypes order: an nvarchar column yields "nvarchar" and then "sysname".
void ColumnTypeNames(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {{"name", *ParseSqlType("sysname"), false}};
  Value id = ObjectId(ctx, caps.Text("table"));
  Database* db = ctx.CurrentDb();
  if (!id.IsNull() && db) {
    for (const auto& table : db->tables) {
      if (table.object_id != std::get<int64_t>(id.v)) continue;
      const ColumnDef* column = table.FindColumn(caps.Text("column"));
      if (!column) continue;
      for (const auto& t : SystemTypes()) {
        if (t.xtype == column->type.XType()) rs.rows.push_back({Value(t.name)});
      }
    }
  }
  ctx.Rows(std::move(rs));
}

struct Expr {
  enum Kind { kColumn, kLiteral, kStar, kCountStar } kind = kLiteral;
  std::string column;
  Value value;
  SqlType type;
  std::string alias;
};

struct Condition {
  std::string column;
  std::string op;  // = <> < > <= >= like notlike isnull notnull in
  std::vector<Value> values;
};

class SelectParser {
 public:
  SelectParser(ExecContext& ctx, const std::vector<Token>& t) : ctx_(ctx), t_(t) {}
  void Run();

 private:
  const Token* Peek(size_t k = 0) const { return i_ + k < t_.size() ? &t_[i_ + k] : nullptr; }
  bool AcceptW(std::string_view w) {
    if (Peek() && IsW(*Peek(), w)) return ++i_, true;
    return false;
  }
  bool AcceptP(std::string_view p) {
    if (Peek() && IsP(*Peek(), p)) return ++i_, true;
    return false;
  }
  bool Fail() {
    if (!ctx_.failed) SyntaxErrorNear(ctx_, t_, i_);
    return false;
  }
  bool Ident(std::string& out) {
    const Token* p = Peek();
    if (!p || !((p->kind == TokenKind::kWord && !IsReserved(p->text)) || p->kind == TokenKind::kQuotedIdent))
      return Fail();
    out = p->text;
    ++i_;
    return true;
  }
  bool Name(std::vector<std::string>& parts, std::string& written);
  bool Literal(Value& v);
  bool Item(Expr& e);
  bool Function(const std::string& name, Expr& e);
  bool ParseCondition(Condition& c);

  ExecContext& ctx_;
  const std::vector<Token>& t_;
  size_t i_ = 1;
};

bool SelectParser::Name(std::vector<std::string>& parts, std::string& written) {
  std::string part;
  if (!Ident(part)) return false;
  parts.push_back(part);
  written = t_[i_ - 1].raw;
  while (AcceptP(".")) {
    written += ".";
    if (Peek() && IsP(*Peek(), ".")) {
      parts.push_back("");
      continue;
    }
    if (!Ident(part)) return false;
    parts.push_back(part);
    written += t_[i_ - 1].raw;
  }
  return true;
}

bool SelectParser::Literal(Value& v) {
  const Token* p = Peek();
  if (!p) return Fail();
  bool negative = false;
  if (IsP(*p, "-") && Peek(1) && Peek(1)->kind == TokenKind::kNumber) {
    negative = true;
    ++i_;
    p = Peek();
  }
  if (p->is_bound) {
    v = p->bound;
  } else if (p->kind == TokenKind::kString) {
    v = Value(p->text);
  } else if (p->kind == TokenKind::kNumber) {
    std::string text = (negative ? "-" : "") + p->text;
    if (text.find('.') == std::string::npos) {
      try {
        v = Value(static_cast<int64_t>(std::stoll(text)));
      } catch (const std::out_of_range&) {
        v = Value(std::stod(text));  // past bigint the server reads the literal as a decimal
      }
    } else {
      v = Value(std::stod(text));
    }
  } else if (IsW(*p, "null")) {
    v = Value{};
  } else {
    return Fail();
  }
  ++i_;
  return true;
}

bool SelectParser::Function(const std::string& name, Expr& e) {
  std::vector<Value> args;
  if (!AcceptP("(")) return Fail();
  if (std::string n = Lower(name); n == "count" && AcceptP("*")) {
    if (!AcceptP(")")) return Fail();
    e.kind = Expr::kCountStar;
    e.type = IntType();
    return true;
  }
  if (!AcceptP(")")) {
    do {
      Value v;
      if (!Literal(v)) return false;
      args.push_back(v);
    } while (AcceptP(","));
    if (!AcceptP(")")) return Fail();
  }
  std::string n = Lower(name);
  auto arg_text = [&](size_t k) {
    return k < args.size() && !args[k].IsNull() ? args[k].ToText() : std::string();
  };
  e.kind = Expr::kLiteral;
  e.type = NVarCharType(128);
  if (n == "db_name") {
    if (args.empty()) {
      e.value = Value(ctx_.session.database);
    } else {
      for (const auto& d : ctx_.server.catalog.databases) {
        if (args[0] == Value(static_cast<int64_t>(d.dbid))) e.value = Value(d.name);
      }
    }
  } else if (n == "object_id") {
    e.type = IntType();
    e.value = ObjectId(ctx_, arg_text(0));
  } else if (n == "user_name" || n == "current_user") {
    e.value = Value(ctx_.IsSysAdmin() ? std::string("dbo") : ctx_.session.login);
  } else if (n == "suser_sname" || n == "suser_name" || n == "system_user") {
    e.value = Value(ctx_.session.login);
  } else if (n == "getdate") {
    e.type = *ParseSqlType("datetime");
    e.value = Value(DateTimeFromParts(2024, 6, 1, 12, 0, 0, 0));
  } else if (n == "is_srvrolemember") {
    e.type = IntType();
    const LoginDef* login =
        args.size() > 1 ? ctx_.server.catalog.FindLogin(arg_text(1)) : ctx_.CurrentLogin();
    if (login) {
      bool member = std::any_of(login->server_roles.begin(), login->server_roles.end(),
                                [&](const std::string& r) { return NamesEqual(r, arg_text(0)); });
      e.value = Value(member ? 1 : 0);
    }
  } else if (n == "host_name" || n == "app_name") {
    auto live = ctx_.server.sessions.find(ctx_.session.connection);
    if (live != ctx_.server.sessions.end()) {
      e.value = Value(n == "host_name" ? live->second.hostname : live->second.program_name);
    }
  } else {
    ctx_.Error(195, 15, 10, "'" + name + "' is not a recognized built-in function name.");
    return false;
  }
  return true;
}

bool SelectParser::Item(Expr& e) {
  const Token* p = Peek();
  if (!p) return Fail();
  if (AcceptP("*")) {
    e.kind = Expr::kStar;
    return true;
  }
  if (p->kind == TokenKind::kVariable && p->text.starts_with("@@")) {
    std::string v = Lower(p->text);
    ++i_;
    e.kind = Expr::kLiteral;
    if (v == "@@version") {
      e.type = NVarCharType(300);
      e.value = Value(
          "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tStand-in for integration tests\n\tTDS "
          "stand-in "
          "server on Linux\n");
    } else if (v == "@@spid") {
      e.type = *ParseSqlType("smallint");
      e.value = Value(ctx_.session.spid);
    } else if (v == "@@trancount") {
      e.type = IntType();
      e.value = Value(ctx_.session.trancount);
    } else if (v == "@@servername") {
      e.type = NVarCharType(128);
      e.value = Value(ctx_.server.catalog.server_name);
    } else if (v == "@@language") {
      e.type = NVarCharType(128);
      e.value = Value("us_english");
    } else {
      ctx_.Error(137, 15, 2, "Must declare the scalar variable \"" + p->text + "\".");
      return false;
    }
  } else if (p->kind == TokenKind::kString || p->kind == TokenKind::kNumber || p->is_bound ||
             IsW(*p, "null") || IsP(*p, "-")) {
    e.kind = Expr::kLiteral;
    if (!Literal(e.value)) return false;
    e.type = std::holds_alternative<int64_t>(e.value.v)  ? IntType()
             : std::holds_alternative<double>(e.value.v) ? *ParseSqlType("float")
             : std::holds_alternative<DateTime>(e.value.v)
                 ? *ParseSqlType("datetime")
                 : (p->national ? NVarCharType(4000) : VarCharType(8000));
    if (auto* s = std::get_if<std::string>(&e.value.v)) {
      int len = std::max<int>(1, static_cast<int>(Utf8ToUtf16(*s).size()));
      e.type = p->national || p->is_bound ? NVarCharType(len) : VarCharType(len);
    }
  } else if (p->kind == TokenKind::kVariable) {
    ctx_.Error(137, 15, 2, "Must declare the scalar variable \"" + p->text + "\".");
    return false;
  } else if ((p->kind == TokenKind::kWord || p->kind == TokenKind::kQuotedIdent) && Peek(1) &&
             IsP(*Peek(1), "(")) {
    std::string name = p->text;
    ++i_;
    if (!Function(name, e)) return false;
  } else {
    std::vector<std::string> parts;
    std::string written;
    if (!Name(parts, written)) return false;
    e.kind = Expr::kColumn;
    e.column = parts.back();
    e.alias = parts.back();
  }
  if (AcceptW("as")) return Ident(e.alias);
  if (Peek() && (Peek()->kind == TokenKind::kQuotedIdent ||
                 (Peek()->kind == TokenKind::kWord && !IsReserved(Peek()->text)))) {
    return Ident(e.alias);
  }
  if (Peek() && Peek()->kind == TokenKind::kString && e.kind != Expr::kStar) {
    e.alias = Peek()->text;
    ++i_;
  }
  return true;
}

bool SelectParser::ParseCondition(Condition& c) {
  std::vector<std::string> parts;
  std::string written;
  if (!Name(parts, written)) return false;
  c.column = parts.back();
  if (AcceptW("is")) {
    c.op = AcceptW("not") ? "notnull" : "isnull";
    if (!AcceptW("null")) return Fail();
    return true;
  }
  bool negate = AcceptW("not");
  if (AcceptW("like")) {
    c.op = negate ? "notlike" : "like";
  } else if (AcceptW("in")) {
    c.op = negate ? "notin" : "in";
    if (!AcceptP("(")) return Fail();
    do {
      Value v;
      if (!Literal(v)) return false;
      c.values.push_back(v);
    } while (AcceptP(","));
    return AcceptP(")") || Fail();
  } else if (!negate && Peek() && Peek()->kind == TokenKind::kPunct &&
             (Peek()->text == "=" || Peek()->text == "<>" || Peek()->text == "!=" || Peek()->text == "<" ||
              Peek()->text == ">" || Peek()->text == "<=" || Peek()->text == ">=")) {
    c.op = Peek()->text == "!=" ? "<>" : Peek()->text;
    ++i_;
  } else {
    return Fail();
  }
  Value v;
  if (!Literal(v)) return false;
  c.values.push_back(v);
  return true;
}

// Compares a stored value with a literal under the column's type; NULL compares unknown (false).
int Compare(const Value& stored, const SqlType& type, const Value& literal, bool& comparable) {
  comparable = !stored.IsNull() && !literal.IsNull();
  if (!comparable) return 0;
  if (type.IsCharacter()) {
    std::string a = Lower(stored.ToText()), b = Lower(literal.ToText());
    while (!a.empty() && a.back() == ' ') a.pop_back();  // trailing spaces do not count in = comparisons
    while (!b.empty() && b.back() == ' ') b.pop_back();
    return a < b ? -1 : a > b ? 1 : 0;
  }
  auto lit = ConvertValue(literal,
                          literal.ToText().empty()                         ? VarCharType(1)
                          : std::holds_alternative<std::string>(literal.v) ? VarCharType(8000)
                          : std::holds_alternative<int64_t>(literal.v)     ? *ParseSqlType("bigint")
                                                                           : *ParseSqlType("float"),
                          type);
  if (lit.error) {
    comparable = false;
    return 0;
  }
  const Value& l = lit.value;
  if (auto* a = std::get_if<DateTime>(&stored.v)) {
    auto& b = std::get<DateTime>(l.v);
    return a->days != b.days ? (a->days < b.days ? -1 : 1) : a->ticks < b.ticks ? -1 : a->ticks > b.ticks;
  }
  double a = std::stod(stored.ToText()), b = std::stod(l.ToText());
  return a < b ? -1 : a > b ? 1 : 0;
}

void SelectParser::Run() {
  int64_t top = -1;
  if (AcceptW("top")) {
    Value v;
    if (!Literal(v) || !std::holds_alternative<int64_t>(v.v)) return void(Fail());
    top = std::get<int64_t>(v.v);
  }
  std::vector<Expr> items;
  do {
    Expr e;
    if (!Item(e)) return;
    items.push_back(std::move(e));
  } while (AcceptP(","));

  ResultSet source;
  bool has_from = false;
  if (AcceptW("from")) {
    has_from = true;
    std::vector<std::string> parts;
    std::string written;
    if (!Name(parts, written)) return;
    Database* db = parts.size() >= 3 && !parts[0].empty() ? ctx_.server.catalog.FindDatabase(parts[0])
                                                          : ctx_.CurrentDb();
    TableDef* table = db ? db->FindTable(parts.back()) : nullptr;
    if (table) {
      for (const auto& c : table->columns) source.columns.push_back({c.name, c.type, c.nullable});
      source.rows = table->rows;
    } else if (auto sys = db ? SystemTable(ctx_, *db, parts.back()) : std::nullopt) {
      source = std::move(*sys);
    } else {
      ctx_.Error(208, 16, 1, "Invalid object name '" + written + "'.");
      return;
    }
    if (Peek() && Peek()->kind == TokenKind::kWord && !IsReserved(Peek()->text)) ++i_;  // table alias
  }
  std::vector<Condition> conditions;
  if (has_from && AcceptW("where")) {
    do {
      Condition c;
      if (!ParseCondition(c)) return;
      conditions.push_back(std::move(c));
    } while (AcceptW("and"));
  }
  std::vector<std::pair<int, bool>> order;
  auto column_index = [&](const std::string& name) -> int {
    for (size_t k = 0; k < source.columns.size(); ++k) {
      if (NamesEqual(source.columns[k].name, name)) return static_cast<int>(k);
    }
    ctx_.Error(207, 16, 1, "Invalid column name '" + name + "'.");
    return -1;
  };
  if (has_from && AcceptW("order")) {
    if (!AcceptW("by")) return void(Fail());
    do {
      std::vector<std::string> parts;
      std::string written;
      if (!Name(parts, written)) return;
      int k = column_index(parts.back());
      if (k < 0) return;
      bool desc = AcceptW("desc");
      if (!desc) AcceptW("asc");
      order.push_back({k, desc});
    } while (AcceptP(","));
  }
  if (i_ < t_.size()) return void(Fail());

  // Filter.
  std::vector<std::pair<int, const Condition*>> resolved;
  for (const auto& c : conditions) {
    int k = column_index(c.column);
    if (k < 0) return;
    resolved.push_back({k, &c});
  }
  std::vector<std::vector<Value>> rows;
  for (const auto& row : source.rows) {
    bool keep = true;
    for (const auto& [k, c] : resolved) {
      const Value& v = row[k];
      const SqlType& type = source.columns[k].type;
      bool comparable = false;
      if (c->op == "isnull")
        keep = v.IsNull();
      else if (c->op == "notnull")
        keep = !v.IsNull();
      else if (c->op == "like" || c->op == "notlike") {
        keep = !v.IsNull() && !c->values[0].IsNull() &&
               LikeMatch(v.ToText(), c->values[0].ToText()) == (c->op == "like");
      } else if (c->op == "in" || c->op == "notin") {
        bool hit = false;
        for (const auto& lit : c->values) hit = hit || (Compare(v, type, lit, comparable) == 0 && comparable);
        keep = !v.IsNull() && hit == (c->op == "in");
      } else {
        int cmp = Compare(v, type, c->values[0], comparable);
        keep = comparable &&
               ((c->op == "=" && cmp == 0) || (c->op == "<>" && cmp != 0) || (c->op == "<" && cmp < 0) ||
                (c->op == ">" && cmp > 0) || (c->op == "<=" && cmp <= 0) || (c->op == ">=" && cmp >= 0));
      }
      if (!keep) break;
    }
    if (keep) rows.push_back(row);
  }
  if (!order.empty()) {
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
      for (const auto& [k, desc] : order) {
        bool comparable = false;
        int cmp = a[k].IsNull()   ? (b[k].IsNull() ? 0 : -1)
                  : b[k].IsNull() ? 1
                                  : Compare(a[k], source.columns[k].type, b[k], comparable);
        if (cmp != 0) return desc ? cmp > 0 : cmp < 0;
      }
      return false;
    });
  }
  if (top >= 0 && static_cast<int64_t>(rows.size()) > top) rows.resize(static_cast<size_t>(top));

  // Project.
  ResultSet out;
  std::vector<int> sources;  // column index, -1 for a literal
  bool aggregate =
      std::any_of(items.begin(), items.end(), [](const Expr& e) { return e.kind == Expr::kCountStar; });
  for (size_t n = 0; n < items.size(); ++n) {
    const Expr& e = items[n];
    if (e.kind == Expr::kStar) {
      if (!has_from) {
        ctx_.Error(263, 16, 1, "Must specify table to select from.");
        return;
      }
      for (size_t k = 0; k < source.columns.size(); ++k) {
        out.columns.push_back(source.columns[k]);
        sources.push_back(static_cast<int>(k));
      }
    } else if (e.kind == Expr::kColumn) {
      if (!has_from) {
        ctx_.Error(207, 16, 1, "Invalid column name '" + e.column + "'.");
        return;
      }
      int k = column_index(e.column);
      if (k < 0) return;
      out.columns.push_back({e.alias, source.columns[k].type, source.columns[k].nullable});
      sources.push_back(k);
    } else {
      out.columns.push_back({e.alias, e.type, true});
      sources.push_back(-1 - static_cast<int>(n));
    }
  }
  auto make_row = [&](const std::vector<Value>* row) {
    std::vector<Value> r;
    for (int s : sources) {
      if (s >= 0) {
        r.push_back(row ? (*row)[s] : Value{});
      } else {
        const Expr& e = items[static_cast<size_t>(-1 - s)];
        r.push_back(e.kind == Expr::kCountStar ? Value(static_cast<int64_t>(rows.size())) : e.value);
      }
    }
    return r;
  };
  if (!has_from || aggregate) {
    out.rows.push_back(make_row(rows.empty() ? nullptr : &rows.front()));
  } else {
    for (const auto& row : rows) out.rows.push_back(make_row(&row));
  }
  ctx_.Rows(std::move(out));
}

}  // namespace

void RegisterSelectForms(StatementRegistry& r) {
  r.AddForm(
      "column type names",
      "select systypes . name from syscolumns inner join systypes on systypes . xtype = syscolumns . xtype "
      "where syscolumns . id = object_id ( {table:str} ) and syscolumns . name = {column:str}",
      ColumnTypeNames);
  // Last among the SELECT forms: it takes every other SELECT and reports what it cannot answer.
  r.AddForm("select", "select {body:rest}", [](ExecContext& ctx, const Captures& caps) {
    std::vector<Token> tokens = caps["body"].tokens;
    tokens.insert(tokens.begin(), Token{TokenKind::kWord, "select", "select", false, Value{}, false});
    SelectParser(ctx, tokens).Run();
  });
}

}  // namespace standin
