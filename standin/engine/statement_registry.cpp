#include "engine/statement_registry.h"

#include <cctype>
#include <stdexcept>

namespace standin {

struct PatternElem {
  enum Kind { kWord, kPunct, kCapture, kOptional } kind = kWord;
  std::vector<std::string> words;  // alternatives, lower case
  std::string punct;
  std::string capture_name, capture_kind, constraint;
  std::vector<PatternElem> children;
};

namespace {

std::vector<PatternElem> CompilePattern(const std::string& pattern, size_t& i, bool nested) {
  std::vector<PatternElem> out;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '[') {
      ++i;
      PatternElem e;
      e.kind = PatternElem::kOptional;
      e.children = CompilePattern(pattern, i, true);
      out.push_back(std::move(e));
    } else if (c == ']') {
      if (!nested) throw std::logic_error("unbalanced ] in pattern " + pattern);
      ++i;
      return out;
    } else if (c == '{') {
      auto close = pattern.find('}', i);
      std::string body = pattern.substr(i + 1, close - i - 1);
      i = close + 1;
      PatternElem e;
      e.kind = PatternElem::kCapture;
      auto colon = body.find(':');
      e.capture_name = body.substr(0, colon);
      e.capture_kind = colon == std::string::npos ? "ident" : body.substr(colon + 1);
      auto eq = e.capture_kind.find('=');
      if (eq != std::string::npos) {
        e.constraint = e.capture_kind.substr(eq + 1);
        e.capture_kind = e.capture_kind.substr(0, eq);
      }
      out.push_back(std::move(e));
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '|') {
      size_t start = i;
      while (i < pattern.size() && (std::isalnum(static_cast<unsigned char>(pattern[i])) ||
                                    pattern[i] == '_' || pattern[i] == '@' || pattern[i] == '|')) {
        ++i;
      }
      PatternElem e;
      std::string word = Lower(pattern.substr(start, i - start));
      size_t from = 0;
      while (true) {
        auto bar = word.find('|', from);
        e.words.push_back(word.substr(from, bar - from));
        if (bar == std::string::npos) break;
        from = bar + 1;
      }
      out.push_back(std::move(e));
    } else {
      PatternElem e;
      e.kind = PatternElem::kPunct;
      e.punct = std::string(1, c);
      ++i;
      out.push_back(std::move(e));
    }
  }
  if (nested) throw std::logic_error("unbalanced [ in pattern " + pattern);
  return out;
}

bool IsIdent(const Token& t) {
  return (t.kind == TokenKind::kWord && !IsReserved(t.text)) || t.kind == TokenKind::kQuotedIdent;
}

bool IsPunct(const Token& t, std::string_view p) {
  return t.kind == TokenKind::kPunct && t.text == p;
}

bool IsWord(const Token& t, std::string_view w) {
  return t.kind == TokenKind::kWord && NamesEqual(t.text, w);
}

Value LiteralValue(const Token& t, bool negative) {
  if (t.is_bound) return t.bound;
  if (t.kind == TokenKind::kString) return Value(t.text);
  if (t.kind == TokenKind::kNumber) {
    if (t.text.size() > 2 && (t.text[1] == 'x' || t.text[1] == 'X')) {
      Bytes b;
      for (size_t k = 2; k + 1 < t.text.size(); k += 2)
        b.push_back(static_cast<uint8_t>(std::stoi(t.text.substr(k, 2), nullptr, 16)));
      return Value(b);
    }
    std::string text = (negative ? "-" : "") + t.text;
    if (text.find_first_of(".eE") == std::string::npos) {
      try {
        return Value(static_cast<int64_t>(std::stoll(text)));
      } catch (const std::out_of_range&) {
      }
    }
    if (text.find_first_of("eE") == std::string::npos) {
      auto dot = text.find('.');
      std::string digits = text;
      int scale = 0;
      if (dot != std::string::npos) {
        digits.erase(dot, 1);
        scale = static_cast<int>(text.size() - dot - 1);
      }
      try {
        return Value(Decimal{std::stoll(digits), scale});
      } catch (const std::out_of_range&) {
      }
    }
    return Value(std::stod(text));
  }
  return Value{};
}

struct Matcher {
  const std::vector<Token>& tokens;
  Captures& caps;
  size_t furthest = 0;

  void Fail(size_t at) { furthest = std::max(furthest, at); }

  using Cont = std::function<bool(size_t)>;

  bool Seq(const std::vector<PatternElem>& seq, size_t ei, size_t ti, const Cont& k) {
    if (ei == seq.size()) return k(ti);
    const PatternElem& e = seq[ei];
    auto next = [&](size_t t2) { return Seq(seq, ei + 1, t2, k); };
    switch (e.kind) {
      case PatternElem::kOptional:
        if (Seq(e.children, 0, ti, next)) return true;
        return next(ti);
      case PatternElem::kPunct:
        if (ti < tokens.size() && IsPunct(tokens[ti], e.punct)) return next(ti + 1);
        Fail(ti);
        return false;
      case PatternElem::kWord: {
        if (ti < tokens.size()) {
          const Token& t = tokens[ti];
          for (const auto& w : e.words) {
            bool kind_ok = w[0] == '@' ? t.kind == TokenKind::kVariable
                                       : (t.kind == TokenKind::kWord || t.kind == TokenKind::kNumber);
            bool hit = kind_ok && NamesEqual(t.text, w);
            if (hit) {
              caps.AddWord(w);
              if (next(ti + 1)) return true;
              caps.EraseWord(w);
              return false;
            }
          }
        }
        Fail(ti);
        return false;
      }
      case PatternElem::kCapture:
        return CaptureElem(e, ti, next);
    }
    return false;
  }

  bool Commit(const PatternElem& e, Capture c, size_t t2, const Cont& next) {
    caps.Set(e.capture_name, std::move(c));
    if (next(t2)) return true;
    caps.Erase(e.capture_name);
    return false;
  }

  bool CaptureElem(const PatternElem& e, size_t ti, const Cont& next) {
    const std::string& kind = e.capture_kind;
    if (ti >= tokens.size()) {
      Fail(ti);
      return false;
    }
    const Token& t = tokens[ti];
    Capture c;
    if (kind == "ident") {
      if (!IsIdent(t)) return Fail(ti), false;
      c.text = t.text;
      c.tokens = {t};
      return Commit(e, c, ti + 1, next);
    }
    if (kind == "name") {
      size_t k = ti;
      if (!IsIdent(tokens[k])) return Fail(k), false;
      c.parts.push_back(tokens[k].text);
      ++k;
      while (k < tokens.size() && IsPunct(tokens[k], ".")) {
        if (k + 1 < tokens.size() && IsIdent(tokens[k + 1])) {
          c.parts.push_back(tokens[k + 1].text);
          k += 2;
        } else if (k + 1 < tokens.size() && IsPunct(tokens[k + 1], ".")) {
          c.parts.push_back("");
          k += 1;
        } else {
          return Fail(k + 1), false;
        }
      }
      c.text = c.parts.back();
      if (!e.constraint.empty() && !NamesEqual(c.text, e.constraint)) return Fail(ti), false;
      c.tokens.assign(tokens.begin() + static_cast<long>(ti), tokens.begin() + static_cast<long>(k));
      return Commit(e, c, k, next);
    }
    if (kind == "str") {
      bool ok =
          t.kind == TokenKind::kString || (t.is_bound && std::holds_alternative<std::string>(t.bound.v));
      if (!ok) return Fail(ti), false;
      c.value = LiteralValue(t, false);
      c.text = c.value.ToText();
      c.tokens = {t};
      return Commit(e, c, ti + 1, next);
    }
    if (kind == "num" || kind == "lit" || kind == "arg") {
      size_t k = ti;
      bool negative = false;
      if (IsPunct(tokens[k], "-") && k + 1 < tokens.size() && tokens[k + 1].kind == TokenKind::kNumber) {
        negative = true;
        ++k;
      }
      const Token& v = tokens[k];
      bool number =
          v.kind == TokenKind::kNumber || (v.is_bound && !std::holds_alternative<std::string>(v.bound.v));
      bool literal = number || v.kind == TokenKind::kString || v.is_bound || IsWord(v, "null");
      bool ok = kind == "num" ? number : kind == "lit" ? literal : (literal || IsIdent(v));
      if (!ok) return Fail(ti), false;
      c.value = IsWord(v, "null") ? Value{}
                : (v.kind == TokenKind::kWord || v.kind == TokenKind::kQuotedIdent)
                    ? Value(v.text)
                    : LiteralValue(v, negative);
      c.text = c.value.IsNull() ? "" : c.value.ToText();
      c.tokens.assign(tokens.begin() + static_cast<long>(ti), tokens.begin() + static_cast<long>(k + 1));
      return Commit(e, c, k + 1, next);
    }
    if (kind == "type") {
      if (t.kind != TokenKind::kWord && t.kind != TokenKind::kQuotedIdent) return Fail(ti), false;
      size_t k = ti + 1;
      c.text = t.text;
      if (k < tokens.size() && IsPunct(tokens[k], "(")) {
        size_t close = k;
        while (close < tokens.size() && !IsPunct(tokens[close], ")")) ++close;
        if (close == tokens.size()) return Fail(close), false;
        c.text += "(";
        for (size_t j = k + 1; j < close; ++j) c.text += tokens[j].raw;
        c.text += ")";
        k = close + 1;
      }
      c.tokens.assign(tokens.begin() + static_cast<long>(ti), tokens.begin() + static_cast<long>(k));
      return Commit(e, c, k, next);
    }
    if (kind == "keys") {
      // column [ASC|DESC] [, column [ASC|DESC]]...; parts hold "column" or "column DESC"
      size_t k = ti;
      while (true) {
        if (k >= tokens.size() || !IsIdent(tokens[k])) return Fail(k), false;
        std::string key = tokens[k++].text;
        if (k < tokens.size() && (IsWord(tokens[k], "asc") || IsWord(tokens[k], "desc"))) {
          if (IsWord(tokens[k], "desc")) key += " DESC";
          ++k;
        }
        c.parts.push_back(key);
        if (k >= tokens.size() || !IsPunct(tokens[k], ",")) break;
        ++k;
      }
      c.tokens.assign(tokens.begin() + static_cast<long>(ti), tokens.begin() + static_cast<long>(k));
      return Commit(e, c, k, next);
    }
    if (kind == "expr") {
      // A literal, or a parenthesised expression kept as written.
      size_t k = ti;
      if (IsPunct(t, "(")) {
        int depth = 0;
        bool word_before = false;
        do {
          const Token& x = tokens[k];
          if (IsPunct(x, "(")) ++depth;
          if (IsPunct(x, ")")) --depth;
          bool word = x.kind != TokenKind::kPunct;
          if (word && word_before) c.text += ' ';
          c.text += x.kind == TokenKind::kString ? "'" + x.text + "'" : x.raw;
          word_before = word;
          ++k;
        } while (depth > 0 && k < tokens.size());
        if (depth > 0) return Fail(k), false;
      } else if (t.kind == TokenKind::kString || t.kind == TokenKind::kNumber || IsWord(t, "null")) {
        c.text = t.kind == TokenKind::kString ? "'" + t.text + "'" : t.raw;
        ++k;
      } else {
        return Fail(ti), false;
      }
      c.tokens.assign(tokens.begin() + static_cast<long>(ti), tokens.begin() + static_cast<long>(k));
      return Commit(e, c, k, next);
    }
    if (kind == "rest") {
      c.tokens.assign(tokens.begin() + static_cast<long>(ti), tokens.end());
      c.text = JoinTokens(tokens, ti);
      return Commit(e, c, tokens.size(), next);
    }
    throw std::logic_error("unknown capture kind " + kind);
  }
};

// Parses "[EXEC[UTE]] [@ret =] name [arg [, arg]...]" into a call; false when the text is no procedure call.
bool ParseProcedureCall(const std::vector<Token>& tokens, ProcCall& call, size_t& error_at) {
  size_t i = 0;
  if (i < tokens.size() && (IsWord(tokens[i], "exec") || IsWord(tokens[i], "execute"))) ++i;
  if (i + 1 < tokens.size() && tokens[i].kind == TokenKind::kVariable && IsPunct(tokens[i + 1], "=")) i += 2;
  if (i >= tokens.size() || !(IsIdent(tokens[i]) || tokens[i].kind == TokenKind::kWord)) {
    error_at = i;
    return false;
  }
  std::string name = tokens[i].raw;
  ++i;
  while (i < tokens.size() && IsPunct(tokens[i], ".")) {
    name += ".";
    ++i;
    if (i < tokens.size() && (IsIdent(tokens[i]) || tokens[i].kind == TokenKind::kWord))
      name += tokens[i++].raw;
  }
  call.name = name;
  while (i < tokens.size()) {
    ProcArg arg;
    if (tokens[i].kind == TokenKind::kVariable && !tokens[i].is_bound && i + 1 < tokens.size() &&
        IsPunct(tokens[i + 1], "=")) {
      arg.name = tokens[i].text;
      i += 2;
    }
    if (i >= tokens.size()) {
      error_at = i;
      return false;
    }
    bool negative = false;
    if (IsPunct(tokens[i], "-") && i + 1 < tokens.size() && tokens[i + 1].kind == TokenKind::kNumber) {
      negative = true;
      ++i;
    }
    const Token& v = tokens[i];
    if (IsWord(v, "default")) {
      arg.is_default = true;
    } else if (IsWord(v, "null")) {
    } else if (v.kind == TokenKind::kString || v.kind == TokenKind::kNumber || v.is_bound) {
      arg.value = LiteralValue(v, negative);
    } else if (v.kind == TokenKind::kWord || v.kind == TokenKind::kQuotedIdent) {
      arg.value = Value(v.text);  // a bare word passed to a procedure is a character string
    } else if (v.kind == TokenKind::kVariable) {
      arg.value = Value{};
    } else {
      error_at = i;
      return false;
    }
    arg.type = std::holds_alternative<int64_t>(arg.value.v) ? IntType() : NVarCharType(4000);
    ++i;
    if (i < tokens.size() && (IsWord(tokens[i], "output") || IsWord(tokens[i], "out"))) {
      arg.output = true;
      ++i;
    }
    call.args.push_back(std::move(arg));
    if (i < tokens.size()) {
      if (!IsPunct(tokens[i], ",")) {
        error_at = i;
        return false;
      }
      ++i;
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

}  // namespace

const Capture& Captures::operator[](const std::string& name) const {
  static const Capture kEmpty;
  auto it = map_.find(name);
  return it == map_.end() ? kEmpty : it->second;
}

const ProcArg* ProcCall::Arg(size_t position, std::string_view name) const {
  for (const auto& a : args) {
    if (!a.name.empty() && NamesEqual(a.name, name)) return a.is_default ? nullptr : &a;
  }
  if (position < args.size() && args[position].name.empty() && !args[position].is_default)
    return &args[position];
  return nullptr;
}

StatementRegistry::StatementRegistry() = default;
StatementRegistry::~StatementRegistry() = default;

void StatementRegistry::AddForm(std::string name, const std::string& pattern, StatementHandler handler) {
  size_t i = 0;
  forms_.push_back(Form{std::move(name), CompilePattern(pattern, i, false), std::move(handler)});
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
    Matcher m{tokens, caps};
    bool ok = m.Seq(form.pattern, 0, 0, [&](size_t ti) {
      if (ti == tokens.size()) return true;
      m.Fail(ti);
      return false;
    });
    if (ok) {
      RunHandler(ctx, [&] { form.handler(ctx, caps); });
      return true;
    }
    if (m.furthest > 0) furthest = std::max(furthest, m.furthest);
  }
  return false;
}

std::string StatementRegistry::MatchingForm(const std::string& text) const {
  auto lexed = Lex(text);
  for (const auto& form : forms_) {
    Captures caps;
    Matcher m{lexed.tokens, caps};
    if (m.Seq(form.pattern, 0, 0, [&](size_t ti) { return ti == lexed.tokens.size(); })) return form.name;
  }
  return "";
}

void StatementRegistry::Execute(ExecContext& ctx, const std::vector<Token>& tokens) const {
  ctx.failed = false;
  ctx.row_count.reset();
  ctx.in_procedure = false;
  ctx.procedure.clear();
  size_t furthest = 0;
  if (TryForms(ctx, tokens, furthest)) {
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
  SyntaxErrorNear(ctx, tokens, furthest);
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
  if (scenario_proc) {
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
  for (const auto& statement : statements) Builtins().Execute(ctx, statement);
}

const StatementRegistry& Builtins() {
  static const StatementRegistry registry = [] {
    StatementRegistry r;
    RegisterSessionForms(r);
    RegisterDdlForms(r);
    RegisterCreateForms(r);
    RegisterAdminForms(r);
    RegisterSelectForms(r);
    RegisterHelpProcedures(r);
    RegisterSecurityProcedures(r);
    RegisterRpcProcedures(r);
    return r;
  }();
  return registry;
}

}  // namespace standin
