// The procedures drivers call for parameterised and prepared statements: sp_executesql, sp_prepare,
// sp_prepexec, sp_execute and sp_unprepare. The statement text runs with its @parameters bound to the values.
#include "engine/statement_registry.h"

namespace standin {

namespace {

struct Declaration {
  std::string name;
  std::optional<SqlType> type;
};

// "@P1 int,@P2 nvarchar(4000) OUTPUT" -> names and types, split at the commas outside parentheses.
std::vector<Declaration> ParseDeclarations(const std::string& text) {
  std::vector<Declaration> out;
  int depth = 0;
  std::string current;
  auto flush = [&] {
    std::string d = Trim(current);
    current.clear();
    if (d.empty()) return;
    auto space = d.find_first_of(" \t");
    Declaration decl{d.substr(0, space), std::nullopt};
    if (space != std::string::npos) {
      std::string type = Trim(d.substr(space));
      std::string lower = Lower(type);
      for (const char* suffix : {" output", " out"}) {
        if (lower.ends_with(suffix)) type = Trim(type.substr(0, type.size() - std::string(suffix).size()));
      }
      decl.type = ParseSqlType(type);
    }
    out.push_back(std::move(decl));
  };
  for (char c : text) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      flush();
    } else {
      current.push_back(c);
    }
  }
  flush();
  return out;
}

// Runs `text` inside the current procedure call: its statements end with DONEINPROC, and what nested
// procedures would hand back (return status and values) stays inside.
void RunInside(ExecContext& ctx, const std::string& text, const std::string& declarations,
               const ProcCall& call, size_t first_value) {
  auto decls = ParseDeclarations(declarations);
  std::map<std::string, Value> params;
  size_t positional = 0;
  for (size_t a = first_value; a < call.args.size(); ++a) {
    const ProcArg& arg = call.args[a];
    const Declaration* decl = nullptr;
    if (!arg.name.empty()) {
      for (const auto& d : decls) {
        if (NamesEqual(d.name, arg.name)) decl = &d;
      }
    } else if (positional < decls.size()) {
      decl = &decls[positional++];
    }
    if (!decl) continue;
    Value v = arg.value;
    if (decl->type) {
      auto conv = ConvertValue(arg.value, arg.type, *decl->type, ctx.session.date_order);
      if (!conv.error) v = conv.value;
    }
    params[Lower(decl->name)] = v;
  }
  const bool saved_in_procedure = ctx.in_procedure;
  const std::string saved_procedure = ctx.procedure;
  const bool saved_failed = ctx.failed;
  auto saved_parameters = std::move(ctx.parameters);
  ctx.parameters = std::move(params);
  size_t start = ctx.reply.items.size();
  ExecuteText(ctx, text);
  bool failed = false;
  std::vector<ReplyItem> kept(ctx.reply.items.begin(), ctx.reply.items.begin() + static_cast<long>(start));
  for (size_t k = start; k < ctx.reply.items.size(); ++k) {
    ReplyItem& item = ctx.reply.items[k];
    if (std::holds_alternative<ReturnStatusItem>(item) || std::holds_alternative<ReturnValueItem>(item))
      continue;
    if (auto* done = std::get_if<DoneItem>(&item)) {
      done->kind = DoneKind::kDoneInProc;
      failed = failed || done->error;
    }
    if (auto* m = std::get_if<MessageItem>(&item); m && m->error) failed = true;
    kept.push_back(std::move(item));
  }
  ctx.reply.items = std::move(kept);
  ctx.parameters = std::move(saved_parameters);
  ctx.in_procedure = saved_in_procedure;
  ctx.procedure = saved_procedure;
  ctx.failed = saved_failed || failed;
}

std::string TextArg(const ProcCall& call, size_t position, const char* name) {
  const ProcArg* a = call.Arg(position, name);
  return a && !a->value.IsNull() ? a->value.ToText() : std::string();
}

void ExecuteSql(ExecContext& ctx, ProcCall& call) {
  // The server takes the statement as @stmt, as @statement (the name tedious sends) or first by position.
  const ProcArg* stmt = call.Arg(0, "@stmt");
  if (!stmt) stmt = call.Arg(0, "@statement");
  if (!stmt) {
    ctx.Error(
        201, 16, 4,
        "Procedure or function 'sp_executesql' expects parameter '@statement', which was not supplied.");
    call.return_status = 1;
    return;
  }
  RunInside(ctx, stmt->value.ToText(), TextArg(call, 1, "@params"), call, 2);
}

int32_t NewHandle(ExecContext& ctx, const std::string& text, const std::string& declarations) {
  int32_t handle = ctx.session.next_handle++;
  ctx.session.prepared[handle] = PreparedStatement{text, declarations};
  return handle;
}

void Prepare(ExecContext& ctx, ProcCall& call) {
  int32_t handle = NewHandle(ctx, TextArg(call, 2, "@stmt"), TextArg(call, 1, "@params"));
  if (!call.args.empty() && call.args[0].output) call.outputs[0] = Value(handle);
}

void PrepExec(ExecContext& ctx, ProcCall& call) {
  std::string declarations = TextArg(call, 1, "@params");
  std::string text = TextArg(call, 2, "@stmt");
  int32_t handle = NewHandle(ctx, text, declarations);
  if (!call.args.empty() && call.args[0].output) call.outputs[0] = Value(handle);
  RunInside(ctx, text, declarations, call, 3);
}

void Execute(ExecContext& ctx, ProcCall& call) {
  const ProcArg* h = call.Arg(0, "@handle");
  int64_t handle = h && std::holds_alternative<int64_t>(h->value.v) ? std::get<int64_t>(h->value.v) : -1;
  auto it = ctx.session.prepared.find(static_cast<int32_t>(handle));
  if (it == ctx.session.prepared.end()) {
    ctx.Error(8179, 16, 4, "Could not find prepared statement with handle " + std::to_string(handle) + ".");
    call.return_status = 1;
    return;
  }
  PreparedStatement prepared = it->second;
  RunInside(ctx, prepared.text, prepared.declarations, call, 1);
}

void Unprepare(ExecContext& ctx, ProcCall& call) {
  const ProcArg* h = call.Arg(0, "@handle");
  if (h && std::holds_alternative<int64_t>(h->value.v)) {
    ctx.session.prepared.erase(static_cast<int32_t>(std::get<int64_t>(h->value.v)));
  }
}

}  // namespace

void RegisterRpcProcedures(StatementRegistry& r) {
  r.AddProcedure("sp_executesql", ExecuteSql);
  r.AddProcedure("sp_prepare", Prepare);
  r.AddProcedure("sp_prepexec", PrepExec);
  r.AddProcedure("sp_execute", Execute);
  r.AddProcedure("sp_unprepare", Unprepare);
}

}  // namespace standin
