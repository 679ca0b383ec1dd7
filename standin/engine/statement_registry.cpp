#include "engine/statement_registry.h"

#include <stdexcept>

#include "engine/locks.h"
#include "engine/pattern.h"
#include "engine/token_cursor.h"
#include "engine/transactions.h"

namespace standin {

namespace {

// Parses "[EXEC[UTE]] [@ret =] name [arg [, arg]...]" into a call; false when the text is no procedure call.
bool ParseProcedureCall(const std::vector<Token>& tokens, ProcCall& call, size_t& error_at) {
  TokenCursor cur(tokens);
  if (!cur.AcceptWord("exec")) cur.AcceptWord("execute");
  if (cur.Peek() && cur.Peek()->kind == TokenKind::kVariable && cur.PeekPunct("=", 1))
    cur.Seek(cur.pos() + 2);
  auto name_part = [&] {
    return cur.Peek() && (IsIdent(*cur.Peek()) || cur.Peek()->kind == TokenKind::kWord);
  };
  if (!name_part()) {
    error_at = cur.pos();
    return false;
  }
  call.name = cur.Next().raw;
  while (cur.AcceptPunct(".")) {
    call.name += ".";
    if (name_part()) call.name += cur.Next().raw;
  }
  while (!cur.AtEnd()) {
    ProcArg arg;
    if (cur.Peek()->kind == TokenKind::kVariable && !cur.Peek()->is_bound && cur.PeekPunct("=", 1)) {
      arg.name = cur.Next().text;
      cur.Next();
    }
    if (cur.AcceptWord("default")) {
      arg.is_default = true;
    } else if (cur.Literal(arg.value)) {
    } else if (cur.Peek() &&
               (cur.Peek()->kind == TokenKind::kWord || cur.Peek()->kind == TokenKind::kQuotedIdent)) {
      arg.value = Value(cur.Next().text);  // a bare word passed to a procedure is a character string
    } else if (cur.Peek() && cur.Peek()->kind == TokenKind::kVariable) {
      cur.Next();
    } else {
      error_at = cur.pos();
      return false;
    }
    arg.type = std::holds_alternative<int64_t>(arg.value.v) ? IntType() : NVarCharType(4000);
    if (!cur.AcceptWord("output")) cur.AcceptWord("out");
    call.args.push_back(std::move(arg));
    if (!cur.AtEnd() && !cur.AcceptPunct(",")) {
      error_at = cur.pos();
      return false;
    }
  }
  return true;
}

// A number too large for its type in the statement text is the client's error, not the connection's end.
void RunHandler(ExecContext& ctx, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::out_of_range&) {
    ctx.Error(8115, 16, 2, "Arithmetic overflow error converting expression to data type bigint.");
  }
}

void EndBatchOnConversionError(ExecContext& ctx) {
  if (!ctx.aborts_transaction) return;
  ctx.aborts_transaction = false;
  ctx.abort_batch = true;
  if (ctx.session.trancount > 0) RollbackTransaction(ctx);
}

}  // namespace

const Capture& Captures::operator[](const std::string& name) const {
  static const Capture kEmpty;
  auto it = map_.find(name);
  return it == map_.end() ? kEmpty : it->second;
}

const ProcArg* ProcCall::Arg(size_t position, std::string_view parameter) const {
  for (const auto& a : args) {
    if (!a.name.empty() && NamesEqual(a.name, parameter)) return a.is_default ? nullptr : &a;
  }
  if (position < args.size() && args[position].name.empty() && !args[position].is_default)
    return &args[position];
  return nullptr;
}

StatementRegistry::StatementRegistry() = default;
StatementRegistry::~StatementRegistry() = default;

void StatementRegistry::AddForm(std::string name, const std::string& pattern, StatementHandler handler) {
  forms_.push_back(Form{std::move(name), CompilePattern(pattern), std::move(handler)});
}

void StatementRegistry::AddProcedure(std::string name, ProcedureHandler handler) {
  procedures_[Lower(name)] = std::move(handler);
}

std::string JoinTokens(const std::vector<Token>& tokens, size_t from) {
  std::string out;
  for (size_t i = from; i < tokens.size(); ++i) {
    if (!out.empty()) out += ' ';
    out += tokens[i].raw;
  }
  return out;
}

void NotModelled(ExecContext& ctx, const std::vector<Token>& tokens, size_t from) {
  std::string text = JoinTokens(tokens, from);
  if (text.size() > 100) text = text.substr(0, 97) + "...";
  ctx.Error(kNotModelledError, 16, 1, "The SQL Server stand-in does not model this statement: " + text);
  ctx.abort_batch = true;
}

void SyntaxErrorNear(ExecContext& ctx, const std::vector<Token>& tokens, size_t at) {
  if (tokens.empty()) return;
  const Token& t = tokens[std::min(at, tokens.size() - 1)];
  // At the end of the text the server names the last token.
  if (t.kind == TokenKind::kWord && IsReserved(t.text)) {
    ctx.Error(156, 15, 1, "Incorrect syntax near the keyword '" + t.text + "'.");
  } else {
    ctx.Error(102, 15, 1, "Incorrect syntax near '" + (t.kind == TokenKind::kString ? t.text : t.raw) + "'.");
  }
}

bool StatementRegistry::TryForms(ExecContext& ctx, const std::vector<Token>& tokens, size_t& furthest) const {
  for (const auto& form : forms_) {
    Captures caps;
    size_t reached = 0;
    if (MatchPattern(form.pattern, tokens, caps, reached)) {
      RunHandler(ctx, [&] { form.handler(ctx, caps); });
      return true;
    }
    furthest = std::max(furthest, reached);
  }
  return false;
}

std::string StatementRegistry::MatchingForm(const std::string& text) const {
  auto lexed = Lex(text);
  for (const auto& form : forms_) {
    Captures caps;
    size_t reached = 0;
    if (MatchPattern(form.pattern, lexed.tokens, caps, reached)) return form.name;
  }
  return "";
}

std::vector<std::string> StatementRegistry::ProcedureNames() const {
  std::vector<std::string> names;
  for (const auto& entry : procedures_) names.push_back(entry.first);
  return names;
}

void StatementRegistry::Execute(ExecContext& ctx, const std::vector<Token>& tokens) const {
  ctx.lock_deadline.reset();
  const size_t mark = ctx.reply.items.size();
  size_t furthest = 0;
  bool matched = false;
  // A statement that waited for another session's locks runs again from the start: what it read before
  // the wait may have changed.
  do {
    ctx.retry_statement = false;
    ctx.reply.items.erase(ctx.reply.items.begin() + static_cast<std::ptrdiff_t>(mark), ctx.reply.items.end());
    ctx.failed = false;
    ctx.aborts_transaction = false;
    ctx.row_count.reset();
    ctx.in_procedure = false;
    ctx.procedure.clear();
    furthest = 0;
    if (!LockSchemaChange(ctx, tokens)) {
      if (ctx.retry_statement) continue;
      ctx.reply.items.push_back(
          DoneItem{DoneKind::kDone, false, 0, ctx.failed, false, ctx.session.trancount > 0, 0});
      return;
    }
    matched = TryForms(ctx, tokens, furthest);
  } while (ctx.retry_statement);
  if (matched) {
    EndBatchOnConversionError(ctx);
    ctx.reply.items.push_back(DoneItem{DoneKind::kDone, ctx.row_count.has_value(), ctx.row_count.value_or(0),
                                       ctx.failed, false, ctx.session.trancount > 0, 0});
    return;
  }
  const Token& first = tokens.front();
  bool looks_like_call = IsWord(first, "exec") || IsWord(first, "execute") || IsIdent(first);
  if (looks_like_call) {
    ProcCall call;
    size_t error_at = 0;
    if (ParseProcedureCall(tokens, call, error_at)) {
      Call(ctx, call);
      return;
    }
    furthest = std::max(furthest, error_at);
  }
  // A statement word the forms do not follow to the end is T-SQL the stand-in does not model, unless the
  // text stopped where a form still expected more: that is the client's syntax error.
  if (!looks_like_call && StartsStatement(first) && !IsWord(first, "else") && !IsWord(first, "end") &&
      furthest < tokens.size()) {
    NotModelled(ctx, tokens);
  } else {
    SyntaxErrorNear(ctx, tokens, furthest);
  }
  ctx.abort_batch = true;
  ctx.reply.items.push_back(DoneItem{DoneKind::kDone, false, 0, true, false, ctx.session.trancount > 0, 0});
}

void StatementRegistry::Call(ExecContext& ctx, ProcCall& call) const {
  ctx.failed = false;
  ctx.row_count.reset();
  std::string last = LastNamePart(call.name);
  auto it = procedures_.find(Lower(last));
  ProcedureDef* scenario_proc = nullptr;
  if (it == procedures_.end()) {
    Database* db = ctx.CurrentDb();
    if (db) scenario_proc = db->FindProcedure(last);
    if (!scenario_proc && Lower(last).starts_with("sp_")) {
      Database* master = ctx.server.catalog.FindDatabase("master");
      if (master) scenario_proc = master->FindProcedure(last);
    }
    if (!scenario_proc) {
      ctx.Error(2812, 16, 62, "Could not find stored procedure '" + call.name + "'.");
      ctx.reply.items.push_back(
          DoneItem{DoneKind::kDoneProc, false, 0, true, false, ctx.session.trancount > 0, 0});
      return;
    }
  }
  ctx.in_procedure = true;
  ctx.procedure = last;
  if (scenario_proc && !scenario_proc->body.empty()) {
    RunProcedureBody(ctx, *scenario_proc);
  } else if (scenario_proc) {
    for (const auto& rs : scenario_proc->results) {
      ResultSet out;
      for (const auto& col : rs.columns) out.columns.push_back({col.name, col.type, col.nullable});
      out.rows = rs.rows;
      ctx.Rows(std::move(out));
    }
    for (size_t p = 0; p < scenario_proc->params.size(); ++p) {
      const auto& def = scenario_proc->params[p];
      for (size_t a = 0; a < call.args.size(); ++a) {
        bool same = call.args[a].name.empty() ? a == p : NamesEqual(call.args[a].name, def.name);
        if (same && call.args[a].output && def.output) {
          auto conv = ConvertValue(def.value, def.type, call.args[a].type);
          call.outputs[a] = conv.error ? def.value : conv.value;
        }
      }
    }
    call.return_status = scenario_proc->return_status;
  } else {
    RunHandler(ctx, [&] { it->second(ctx, call); });
    EndBatchOnConversionError(ctx);
  }
  ctx.reply.items.push_back(ReturnStatusItem{call.return_status});
  for (const auto& [index, value] : call.outputs) {
    const ProcArg& arg = call.args[index];
    ctx.reply.items.push_back(ReturnValueItem{static_cast<uint16_t>(index), arg.name, arg.type, value});
  }
  ctx.reply.items.push_back(
      DoneItem{DoneKind::kDoneProc, false, 0, ctx.failed, false, ctx.session.trancount > 0, 0});
  ctx.in_procedure = false;
  ctx.procedure.clear();
}

void ExecuteText(ExecContext& ctx, const std::string& text) {
  LexResult lexed = Lex(text);
  if (lexed.error) {
    ctx.Error(*lexed.error);
    ctx.reply.items.push_back(DoneItem{DoneKind::kDone, false, 0, true, false, ctx.session.trancount > 0, 0});
    return;
  }
  for (auto& t : lexed.tokens) {
    if (t.kind != TokenKind::kVariable || t.text.starts_with("@@")) continue;
    auto it = ctx.parameters.find(Lower(t.text));
    if (it != ctx.parameters.end()) {
      t.is_bound = true;
      t.bound = it->second;
    }
  }
  auto statements = SplitStatements(lexed.tokens);
  if (statements.empty()) {
    ctx.reply.items.push_back(
        DoneItem{DoneKind::kDone, false, 0, false, false, ctx.session.trancount > 0, 0});
    return;
  }
  if (!CreateProcedurePlacementValid(ctx, statements)) {
    ctx.reply.items.push_back(DoneItem{DoneKind::kDone, false, 0, true, false, ctx.session.trancount > 0, 0});
    return;
  }
  // A syntax error, a statement the stand-in does not model, or an error that SQL Server lets end the batch
  // (a failed conversion) stops the statements after it.
  ctx.abort_batch = false;
  for (const auto& statement : statements) {
    Builtins().Execute(ctx, statement);
    if (ctx.abort_batch) break;
  }
}

const StatementRegistry& Builtins() {
  static const StatementRegistry registry = [] {
    StatementRegistry r;
    RegisterLockForms(r);
    RegisterSessionForms(r);
    RegisterProcedureForms(r);
    RegisterDdlForms(r);
    RegisterCreateForms(r);
    RegisterAlterTableForms(r);
    RegisterUpdateForms(r);
    RegisterAdminForms(r);
    RegisterDatabaseForms(r);
    RegisterProcessForms(r);
    RegisterPlanForms(r);
    RegisterKeepForms(r);
    RegisterSelectForms(r);
    RegisterHelpProcedures(r);
    RegisterSecurityProcedures(r);
    RegisterLoginProcedures(r);
    RegisterUserProcedures(r);
    RegisterRpcProcedures(r);
    RegisterCatalogProcedures(r);
    return r;
  }();
  return registry;
}

}  // namespace standin
