#include <algorithm>

#include "engine/select_statement.h"
#include "engine/statement_registry.h"
#include "engine/system_tables.h"
#include "engine/token_cursor.h"

namespace standin {

namespace {

// Reserved words that may begin an expression in valid T-SQL; the stand-in models none of them.
bool BeginsUnmodelledExpression(const Token& t) {
  for (const char* w : {"case", "not", "exists", "distinct", "all", "select", "convert", "cast"}) {
    if (IsWord(t, w)) return true;
  }
  return t.kind == TokenKind::kVariable && !t.text.starts_with("@@");
}

class SelectParser {
 public:
  SelectParser(ExecContext& ctx, const std::vector<Token>& tokens) : ctx_(ctx), cur_(tokens, 1) {}
  std::optional<SelectStatement> Run();

 private:
  bool Fail() {
    if (!ctx_.failed) SyntaxErrorNear(ctx_, cur_.tokens(), cur_.pos());
    return false;
  }
  bool Unmodelled() {
    if (!ctx_.failed) NotModelled(ctx_, cur_.tokens());
    return false;
  }
  // An operand was expected: the end of the text or a keyword that cannot start one is a syntax error;
  // anything else is T-SQL the stand-in does not follow.
  bool OperandMissing() {
    const Token* p = cur_.Peek();
    if (!p || (p->kind == TokenKind::kWord && IsReserved(p->text) && !BeginsUnmodelledExpression(*p)) ||
        (p->kind == TokenKind::kPunct && p->text != "(")) {
      return Fail();
    }
    return Unmodelled();
  }
  bool Top(SelectStatement& s);
  bool Item(SelectItem& item);
  bool Expression(SelectExpr& e);
  bool Term(SelectExpr& e);
  bool Factor(SelectExpr& e);
  bool Primary(SelectExpr& e);
  bool Variable(SelectExpr& e);
  bool Function(const std::string& name, SelectExpr& e);
  bool From(SelectStatement& s);
  bool ParseCondition(Condition& c);
  bool OrderBy(SelectStatement& s);

  ExecContext& ctx_;
  TokenCursor cur_;
};

bool SelectParser::Top(SelectStatement& s) {
  if (!cur_.AcceptWord("top")) return true;
  Value v;
  if (cur_.PeekPunct("(")) return Unmodelled();
  if (!cur_.Literal(v) || !std::holds_alternative<int64_t>(v.v)) return Fail();
  if (cur_.PeekWord("percent")) return Unmodelled();
  s.top = std::get<int64_t>(v.v);
  return true;
}

bool SelectParser::Variable(SelectExpr& e) {
  const Token& p = cur_.Next();
  std::string v = Lower(p.text);
  e.kind = SelectExpr::kLiteral;
  e.type = NVarCharType(128);
  if (v == "@@version") {
    e.type = NVarCharType(300);
    e.value = Value(
        "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tStand-in for integration tests\n\tTDS "
        "stand-in server on Linux\n");
  } else if (v == "@@spid") {
    e.type = *ParseSqlType("smallint");
    e.value = Value(ctx_.session.spid);
  } else if (v == "@@trancount") {
    e.type = IntType();
    e.value = Value(ctx_.session.trancount);
  } else if (v == "@@servername") {
    e.value = Value(ctx_.server.catalog.server_name);
  } else if (v == "@@language") {
    e.value = Value(ctx_.session.language);
  } else {
    ctx_.Error(137, 15, 2, "Must declare the scalar variable \"" + p.text + "\".");
    return false;
  }
  return true;
}

bool SelectParser::Function(const std::string& name, SelectExpr& e) {
  std::vector<Value> args;
  cur_.AcceptPunct("(");
  std::string n = Lower(name);
  if (n == "count" && cur_.AcceptPunct("*")) {
    if (!cur_.AcceptPunct(")")) return Fail();
    e.kind = SelectExpr::kCountStar;
    e.type = IntType();
    return true;
  }
  if (!cur_.AcceptPunct(")")) {
    do {
      Value v;
      const Token* t = cur_.Peek();
      if (t && (t->kind == TokenKind::kWord || t->kind == TokenKind::kQuotedIdent) &&
          cur_.PeekPunct("(", 1)) {
        // A built-in function's value as the argument: isnull(object_name(id), '').
        SelectExpr inner;
        std::string inner_name = cur_.Next().text;
        if (!Function(inner_name, inner)) return false;
        v = inner.value;
      } else if (!cur_.Literal(v)) {
        return OperandMissing();
      }
      args.push_back(v);
    } while (cur_.AcceptPunct(","));
    if (!cur_.AcceptPunct(")")) return cur_.AtEnd() ? Fail() : Unmodelled();
  }
  auto arg_text = [&](size_t k) {
    return k < args.size() && !args[k].IsNull() ? args[k].ToText() : std::string();
  };
  e.kind = SelectExpr::kLiteral;
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
  } else if (n == "isnull") {
    if (args.size() != 2) {
      ctx_.Error(174, 15, 1, "The isnull function requires 2 argument(s).");
      return false;
    }
    e.value = args[0].IsNull() ? args[1] : args[0];
  } else if (n == "object_name") {
    // Ids are resolved in the current database, or in the database whose id is the second argument.
    Database* db = args.size() > 1 ? nullptr : ctx_.CurrentDb();
    for (auto& d : ctx_.server.catalog.databases) {
      if (args.size() > 1 && args[1] == Value(static_cast<int64_t>(d.dbid))) db = &d;
    }
    if (db && !args.empty()) {
      for (const auto& t : db->tables) {
        if (args[0] == Value(static_cast<int64_t>(t.object_id))) e.value = Value(t.name);
      }
      for (const auto& p : db->procedures) {
        if (args[0] == Value(static_cast<int64_t>(p.object_id))) e.value = Value(p.name);
      }
    }
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

bool SelectParser::Primary(SelectExpr& e) {
  const Token* p = cur_.Peek();
  if (!p) return Fail();
  if (p->kind == TokenKind::kVariable && p->text.starts_with("@@")) return Variable(e);
  bool national = false;
  if (cur_.Literal(e.value, &national)) {
    e.kind = SelectExpr::kLiteral;
    e.type = LiteralType(e.value, national);
    return true;
  }
  if (cur_.AcceptPunct("(")) {
    if (cur_.PeekWord("select")) return Unmodelled();
    if (!Expression(e)) return false;
    return cur_.AcceptPunct(")") || Fail();
  }
  if ((p->kind == TokenKind::kWord || p->kind == TokenKind::kQuotedIdent) && cur_.PeekPunct("(", 1)) {
    std::string name = cur_.Next().text;
    return Function(name, e);
  }
  std::vector<std::string> parts;
  if (!cur_.Name(parts)) return OperandMissing();
  e.kind = SelectExpr::kColumn;
  e.column = parts.back();
  return true;
}

bool SelectParser::Factor(SelectExpr& e) {
  if (cur_.PeekPunct("-") && !(cur_.Peek(1) && cur_.Peek(1)->kind == TokenKind::kNumber)) {
    cur_.Next();
    SelectExpr inner;
    if (!Factor(inner)) return false;
    e.kind = SelectExpr::kNegate;
    e.operands = {std::move(inner)};
    return true;
  }
  if (cur_.AcceptPunct("+")) return Factor(e);
  return Primary(e);
}

bool SelectParser::Term(SelectExpr& e) {
  if (!Factor(e)) return false;
  while (cur_.PeekPunct("*") || cur_.PeekPunct("/") || cur_.PeekPunct("%")) {
    SelectExpr b;
    b.kind = SelectExpr::kBinary;
    b.op = cur_.Next().text[0];
    SelectExpr right;
    if (!Factor(right)) return false;
    b.operands = {std::move(e), std::move(right)};
    e = std::move(b);
  }
  return true;
}

bool SelectParser::Expression(SelectExpr& e) {
  if (!Term(e)) return false;
  while (cur_.PeekPunct("+") || cur_.PeekPunct("-")) {
    SelectExpr b;
    b.kind = SelectExpr::kBinary;
    b.op = cur_.Next().text[0];
    SelectExpr right;
    if (!Term(right)) return false;
    b.operands = {std::move(e), std::move(right)};
    e = std::move(b);
  }
  if (cur_.Peek() && cur_.Peek()->kind == TokenKind::kPunct &&
      (cur_.Peek()->text == "&" || cur_.Peek()->text == "|" || cur_.Peek()->text == "^")) {
    return Unmodelled();
  }
  return true;
}

bool SelectParser::Item(SelectItem& item) {
  if (cur_.AcceptPunct("*")) {
    item.expr.kind = SelectExpr::kStar;
    return true;
  }
  const size_t start = cur_.pos();
  if (!Expression(item.expr)) return false;
  if (item.expr.kind == SelectExpr::kColumn && cur_.pos() > start) item.alias = item.expr.column;
  if (item.expr.kind == SelectExpr::kColumn && cur_.AcceptPunct("=")) {  // alias = expression
    item.expr = SelectExpr{};
    return Expression(item.expr);
  }
  if (cur_.AcceptWord("as")) {
    if (cur_.Peek() && cur_.Peek()->kind == TokenKind::kString) {
      item.alias = cur_.Next().text;
      return true;
    }
    return cur_.Ident(item.alias) || Fail();
  }
  if (cur_.Ident(item.alias)) return true;
  if (cur_.Peek() && cur_.Peek()->kind == TokenKind::kString) item.alias = cur_.Next().text;
  if (cur_.PeekPunct("=")) return Unmodelled();  // 'alias' = expression
  return true;
}

bool SelectParser::From(SelectStatement& s) {
  std::vector<std::string> parts;
  std::string written;
  if (!cur_.Name(parts, &written)) return OperandMissing();
  s.from = parts;
  s.from_written = written;
  std::string alias;
  if (cur_.AcceptWord("as")) {
    if (!cur_.Ident(alias)) return Fail();
  } else {
    cur_.Ident(alias);
  }
  return true;
}

bool SelectParser::ParseCondition(Condition& c) {
  std::vector<std::string> parts;
  if (!cur_.Name(parts)) return OperandMissing();
  c.column = parts.back();
  if (cur_.AcceptWord("is")) {
    c.op = cur_.AcceptWord("not") ? "notnull" : "isnull";
    return cur_.AcceptWord("null") || Fail();
  }
  bool negate = cur_.AcceptWord("not");
  auto literal = [&] {
    Value v;
    if (!cur_.Literal(v)) return OperandMissing();
    c.values.push_back(v);
    return true;
  };
  if (cur_.AcceptWord("like")) {
    c.op = negate ? "notlike" : "like";
    return literal();
  }
  if (cur_.AcceptWord("in")) {
    c.op = negate ? "notin" : "in";
    if (!cur_.AcceptPunct("(")) return Fail();
    do {
      if (!literal()) return false;
    } while (cur_.AcceptPunct(","));
    return cur_.AcceptPunct(")") || Fail();
  }
  const Token* p = cur_.Peek();
  if (negate || !p || p->kind != TokenKind::kPunct) return cur_.PeekWord("between") ? Unmodelled() : Fail();
  static const char* kOps[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
  if (std::none_of(std::begin(kOps), std::end(kOps), [&](const char* op) { return p->text == op; })) {
    return Fail();
  }
  c.op = p->text == "!=" ? "<>" : p->text;
  cur_.Next();
  return literal();
}

bool SelectParser::OrderBy(SelectStatement& s) {
  if (!cur_.AcceptWord("by")) return Fail();
  do {
    std::vector<std::string> parts;
    if (!cur_.Name(parts)) return OperandMissing();
    bool desc = cur_.AcceptWord("desc");
    if (!desc) cur_.AcceptWord("asc");
    s.order.push_back({parts.back(), desc});
  } while (cur_.AcceptPunct(","));
  return true;
}

std::optional<SelectStatement> SelectParser::Run() {
  SelectStatement s;
  if (cur_.PeekWord("distinct") || cur_.PeekWord("all")) return Unmodelled(), std::nullopt;
  if (!Top(s)) return std::nullopt;
  do {
    SelectItem item;
    if (!Item(item)) return std::nullopt;
    s.items.push_back(std::move(item));
  } while (cur_.AcceptPunct(","));
  if (cur_.AcceptWord("from") && !From(s)) return std::nullopt;
  if (s.from && cur_.AcceptWord("where")) {
    do {
      Condition c;
      if (!ParseCondition(c)) return std::nullopt;
      s.conditions.push_back(std::move(c));
    } while (cur_.AcceptWord("and"));
  }
  if (s.from && cur_.AcceptWord("order") && !OrderBy(s)) return std::nullopt;
  // Whatever follows is a clause the stand-in does not model (JOIN, GROUP BY, OR, UNION, INTO, ...), or a
  // stray token.
  if (!cur_.AtEnd()) {
    const Token& t = *cur_.Peek();
    if (t.kind == TokenKind::kWord || IsPunct(t, ",")) return Unmodelled(), std::nullopt;
    return Fail(), std::nullopt;
  }
  return s;
}

}  // namespace

std::optional<SelectStatement> ParseSelect(ExecContext& ctx, const std::vector<Token>& tokens) {
  return SelectParser(ctx, tokens).Run();
}

}  // namespace standin
