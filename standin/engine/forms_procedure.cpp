// CREATE PROCEDURE (the rest of its batch is its body), DROP PROCEDURE, and running a created procedure's
// body when it is executed.
#include "engine/create_support.h"
#include "engine/token_cursor.h"

namespace standin {

namespace {

bool IsProcWord(const Token& t) {
  return IsWord(t, "procedure") || IsWord(t, "proc");
}

// "@name type [= default] [OUTPUT]", ... up to AS, with or without parentheses around the list.
bool ReadParameters(TokenCursor& cur, std::vector<ProcParamDef>& params) {
  const bool parenthesised = cur.AcceptPunct("(");
  while (cur.Peek() && cur.Peek()->kind == TokenKind::kVariable) {
    ProcParamDef p;
    p.name = cur.Next().raw;
    cur.AcceptWord("as");
    if (cur.AtEnd() || cur.Peek()->kind != TokenKind::kWord) return false;
    std::string type_text = cur.Next().text;
    if (cur.PeekPunct("(") && !cur.ParenGroup(type_text)) return false;
    auto type = ParseSqlType(type_text);
    if (!type) return false;
    p.type = *type;
    if (cur.AcceptPunct("=")) {
      Value ignored;
      if (!cur.Literal(ignored)) return false;
    }
    p.output = cur.AcceptWord("output") || cur.AcceptWord("out");
    params.push_back(std::move(p));
    if (!cur.AcceptPunct(",")) break;
  }
  return !parenthesised || cur.AcceptPunct(")");
}

void CreateProcedure(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  const auto& parts = caps["name"].parts;
  ProcedureDef proc;
  proc.name = parts.back();
  if (parts.size() >= 2 && !parts[parts.size() - 2].empty()) proc.owner = parts[parts.size() - 2];
  TokenCursor cur(caps["body"].tokens);
  if (!ReadParameters(cur, proc.params) || !cur.AcceptWord("as") || cur.AtEnd()) {
    SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
    ctx.abort_batch = true;
    return;
  }
  if (ObjectNameTaken(*db, proc.name)) {
    ctx.Error(2714, 16, 3, "There is already an object named '" + parts.back() + "' in the database.");
    return;
  }
  proc.body = JoinTokens(cur.tokens(), cur.pos());
  ctx.BeforeChange(*db);
  proc.object_id = db->NewObjectId();
  db->procedures.push_back(std::move(proc));
}

void DropProcedure(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  const auto& parts = caps["name"].parts;
  ProcedureDef* proc = db->FindProcedure(parts.back());
  const bool owner_given = parts.size() >= 2 && !parts[parts.size() - 2].empty();
  if (proc && owner_given && !NamesEqual(proc->owner, parts[parts.size() - 2])) proc = nullptr;
  if (!proc) {
    std::string shown = owner_given ? parts[parts.size() - 2] + "." + parts.back() : parts.back();
    ctx.Error(3701, 11, 5,
              "Cannot drop the procedure '" + shown +
                  "', because it does not exist or you do not have permission.");
    return;
  }
  ctx.BeforeChange(*db);
  const std::string owner = proc->owner;
  std::erase_if(db->procedures, [&](const ProcedureDef& p) {
    return NamesEqual(p.name, parts.back()) && NamesEqual(p.owner, owner);
  });
}

}  // namespace

// CREATE PROCEDURE must open its batch: anywhere else the whole batch is refused before anything runs (111).
bool CreateProcedurePlacementValid(ExecContext& ctx, const std::vector<std::vector<Token>>& statements) {
  for (size_t k = 1; k < statements.size(); ++k) {
    const auto& s = statements[k];
    const bool create_or_alter = !s.empty() && (IsWord(s[0], "create") || IsWord(s[0], "alter"));
    if (create_or_alter && s.size() > 1 && IsProcWord(s[1])) {
      ctx.Error(111, 15, 1, "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch.");
      return false;
    }
  }
  return true;
}

void RunProcedureBody(ExecContext& ctx, const ProcedureDef& procedure) {
  LexResult lexed = Lex(procedure.body);
  const size_t first_item = ctx.reply.items.size();
  const std::string name = procedure.name;
  bool failed = false;
  ctx.abort_batch = false;
  for (const auto& statement : SplitStatements(lexed.tokens)) {
    Builtins().Execute(ctx, statement);
    failed = failed || ctx.failed;
    if (ctx.abort_batch) break;
  }
  // The statements of a procedure end with DONEINPROC; the caller closes the call with DONEPROC.
  for (size_t k = first_item; k < ctx.reply.items.size(); ++k) {
    if (auto* done = std::get_if<DoneItem>(&ctx.reply.items[k]); done && done->kind == DoneKind::kDone)
      done->kind = DoneKind::kDoneInProc;
    if (auto* message = std::get_if<MessageItem>(&ctx.reply.items[k]); message && message->procedure.empty())
      message->procedure = name;
  }
  ctx.in_procedure = true;
  ctx.procedure = name;
  ctx.failed = failed;
}

void RegisterProcedureForms(StatementRegistry& r) {
  r.AddForm("create procedure", "create proc|procedure {name:name} {body:rest}", CreateProcedure);
  r.AddForm("drop procedure", "drop proc|procedure {name:name}", DropProcedure);
}

}  // namespace standin
