// The statement forms the stand-in answers. A form is a token pattern plus a handler; a procedure is a name
// plus a handler that receives the call's arguments. Adding a statement means adding one form (pattern +
// handler) in the file of its area and registering it there.
//
// Pattern language (elements separated by spaces, punctuation may stand alone):
// clang-format off
//   word, a|b      keyword(s), matched case-insensitively
//   ( ) , . = *    punctuation
//   [ ... ]        optional group; the words matched inside it are recorded (Captures::Has("null"))
//   {x}            an identifier, bare (not a reserved word) or [bracketed]
//   {x:name}       a multi-part name (db.owner.object, db..object)
//   {x:name=t}     a multi-part name whose last part is t
//   {x:str}        a string literal
//   {x:num}        a number
//   {x:lit}        a string, a number or NULL
//   {x:arg}        a literal or a bare identifier (procedure arguments written without quotes)
//   {x:type}       a type: a name, optionally with (n), (max) or (p, s)
//   {x:keys}       column [ASC|DESC], ... (parts: "column" or "column DESC")
//   {x:expr}       a literal or a parenthesised expression, kept as written
//   {x:rest}       every remaining token (at least one)
// clang-format on
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/exec_context.h"
#include "engine/sql_lexer.h"

namespace standin {

struct Capture {
  std::vector<Token> tokens;
  std::string text;                // identifier, unquoted string, number text; for names the last part
  std::vector<std::string> parts;  // name parts
  Value value;                     // literal value
};

class Captures {
 public:
  bool Has(const std::string& name) const { return map_.count(name) > 0 || words_.count(name) > 0; }
  const Capture& operator[](const std::string& name) const;
  const std::string& Text(const std::string& name) const { return (*this)[name].text; }
  void Set(const std::string& name, Capture c) { map_[name] = std::move(c); }
  void Erase(const std::string& name) { map_.erase(name); }
  void AddWord(const std::string& w) { words_.insert(w); }
  void EraseWord(const std::string& w) { words_.erase(w); }

 private:
  std::map<std::string, Capture> map_;
  std::multiset<std::string> words_;
};

struct ProcArg {
  std::string name;  // "@objname", or empty for a positional argument
  Value value;
  SqlType type;
  bool output = false;
  bool is_default = false;
};

struct ProcCall {
  std::string name;  // as called, e.g. "sp_helpindex" or "dbo.GetAcessoPrincipal"
  std::vector<ProcArg> args;
  int32_t return_status = 0;
  // Values for the OUTPUT arguments, by argument position, sent as RETURNVALUE tokens.
  std::map<size_t, Value> outputs;

  // The argument at `position` when positional, or the one named `name`; nullptr when not given or DEFAULT.
  const ProcArg* Arg(size_t position, std::string_view name) const;
};

using StatementHandler = std::function<void(ExecContext&, const Captures&)>;
using ProcedureHandler = std::function<void(ExecContext&, ProcCall&)>;

struct PatternElem;

class StatementRegistry {
 public:
  StatementRegistry();
  ~StatementRegistry();
  void AddForm(std::string name, const std::string& pattern, StatementHandler handler);
  void AddProcedure(std::string name, ProcedureHandler handler);

  // Runs one statement (tokens without the ";"), writing its reply items and its closing DONE/DONEPROC.
  void Execute(ExecContext& ctx, const std::vector<Token>& tokens) const;
  // Runs a procedure call, as text "EXEC p ..." or as an RPC: result sets, RETURNSTATUS, RETURNVALUEs,
  // DONEPROC.
  void Call(ExecContext& ctx, ProcCall& call) const;
  // The name of the form that matches the statement, for tests; empty when none does.
  std::string MatchingForm(const std::string& text) const;
  // The names of the built-in procedures, as registered.
  std::vector<std::string> ProcedureNames() const;

 private:
  struct Form {
    std::string name;
    std::vector<PatternElem> pattern;
    StatementHandler handler;
  };
  bool TryForms(ExecContext& ctx, const std::vector<Token>& tokens, size_t& furthest) const;
  std::vector<Form> forms_;
  std::map<std::string, ProcedureHandler> procedures_;  // lower-case name
};

// The registry with every built-in form; built once.
const StatementRegistry& Builtins();

// Registration functions, one per area.
void RegisterSessionForms(StatementRegistry& registry);
void RegisterLockForms(StatementRegistry& registry);
void RegisterSelectForms(StatementRegistry& registry);
void RegisterDdlForms(StatementRegistry& registry);
void RegisterCreateForms(StatementRegistry& registry);
void RegisterAdminForms(StatementRegistry& registry);
void RegisterDatabaseForms(StatementRegistry& registry);
void RegisterKeepForms(StatementRegistry& registry);
void RegisterProcessForms(StatementRegistry& registry);
void RegisterPlanForms(StatementRegistry& registry);
void RegisterHelpProcedures(StatementRegistry& registry);
void RegisterSecurityProcedures(StatementRegistry& registry);
void RegisterLoginProcedures(StatementRegistry& registry);
void RegisterUserProcedures(StatementRegistry& registry);
void RegisterRpcProcedures(StatementRegistry& registry);
void RegisterCatalogProcedures(StatementRegistry& registry);
void RegisterAlterTableForms(StatementRegistry& registry);
void RegisterProcedureForms(StatementRegistry& registry);
void RegisterUpdateForms(StatementRegistry& registry);

// Runs the body of a procedure made by CREATE PROCEDURE (forms_procedure.cpp).
void RunProcedureBody(ExecContext& ctx, const ProcedureDef& procedure);
// False, after error 111, when CREATE PROCEDURE is not the first statement of its batch.
bool CreateProcedurePlacementValid(ExecContext& ctx, const std::vector<std::vector<Token>>& statements);

// Runs statement text with bound parameters (sp_executesql): lexes, binds, splits and runs each statement.
void ExecuteText(ExecContext& ctx, const std::string& text);

// Error helpers shared by handlers.
// Valid T-SQL that the stand-in does not model is refused with this one user-range number, never answered as
// a syntax error or as success, so that no test can pass on a statement that never really ran.
constexpr int32_t kNotModelledError = 50001;
void NotModelled(ExecContext& ctx, const std::vector<Token>& tokens, size_t from = 0);
void SyntaxErrorNear(ExecContext& ctx, const std::vector<Token>& tokens, size_t at);
std::string JoinTokens(const std::vector<Token>& tokens, size_t from = 0);

}  // namespace standin
