#include "engine/sql_lexer.h"

#include <array>
#include <cctype>

namespace standin {

namespace {
bool IsIdentStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool IsIdentChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80;
}

constexpr std::array<const char*, 96> kReserved = {
    "add",        "all",          "alter",      "and",
    "any",        "as",           "asc",        "authorization",
    "backup",     "begin",        "between",    "break",
    "by",         "cascade",      "case",       "check",
    "checkpoint", "close",        "clustered",  "collate",
    "column",     "commit",       "constraint", "continue",
    "create",     "cross",        "current",    "cursor",
    "database",   "dbcc",         "deallocate", "declare",
    "default",    "delete",       "deny",       "desc",
    "distinct",   "drop",         "else",       "end",
    "escape",     "except",       "exec",       "execute",
    "exists",     "fetch",        "for",        "foreign",
    "from",       "full",         "function",   "goto",
    "grant",      "group",        "having",     "identity",
    "if",         "in",           "index",      "inner",
    "insert",     "intersect",    "into",       "is",
    "join",       "key",          "kill",       "left",
    "like",       "nonclustered", "not",        "null",
    "of",         "on",           "open",       "or",
    "order",      "outer",        "primary",    "print",
    "proc",       "procedure",    "references", "return",
    "revoke",     "right",        "rollback",   "select",
    "set",        "statistics",   "table",      "top",
    "tran",       "transaction",  "truncate",   "union",
};
}  // namespace

bool IsReserved(std::string_view word) {
  std::string w = Lower(word);
  for (const char* r : kReserved) {
    if (w == r) return true;
  }
  return w == "unique" || w == "update" || w == "use" || w == "values" || w == "view" || w == "where" ||
         w == "while" || w == "with";
}

LexResult Lex(std::string_view text) {
  LexResult out;
  size_t i = 0;
  const size_t n = text.size();
  auto at = [&](size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(text[k]) : 0; };
  while (i < n) {
    unsigned char c = at(i);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && at(i + 1) == '-') {
      while (i < n && text[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && at(i + 1) == '*') {
      auto end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
      continue;
    }
    size_t start = i;
    Token t;
    if ((c == 'N' || c == 'n') && at(i + 1) == '\'') {
      t.national = true;
      ++i;
      c = '\'';
    }
    // Reads up to the closing `close`, a doubled one standing for itself, as in
    // 'it''s' and [a]]b]; false when the text ends first.
    auto read_quoted = [&](char close) {
      ++i;
      while (i < n) {
        if (text[i] == close) {
          if (at(i + 1) == static_cast<unsigned char>(close)) {
            t.text.push_back(close);
            i += 2;
            continue;
          }
          ++i;
          return true;
        }
        t.text.push_back(text[i++]);
      }
      return false;
    };
    if (c == '\'' || c == '[' || c == '"') {
      t.kind = c == '\'' ? TokenKind::kString : TokenKind::kQuotedIdent;
      if (!read_quoted(c == '[' ? ']' : c)) {
        out.error =
            SqlError{105, 15, 1, "Unclosed quotation mark after the character string '" + t.text + "'."};
        return out;
      }
    } else if (std::isdigit(c) || (c == '.' && std::isdigit(at(i + 1)))) {
      t.kind = TokenKind::kNumber;
      if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
        i += 2;
        while (std::isxdigit(at(i))) ++i;
      } else {
        while (std::isdigit(at(i)) || at(i) == '.') ++i;
        if ((at(i) == 'e' || at(i) == 'E') &&
            (std::isdigit(at(i + 1)) || at(i + 1) == '-' || at(i + 1) == '+')) {
          i += 2;
          while (std::isdigit(at(i))) ++i;
        }
      }
      t.text = std::string(text.substr(start, i - start));
    } else if (c == '@') {
      t.kind = TokenKind::kVariable;
      ++i;
      if (at(i) == '@') ++i;
      while (IsIdentChar(at(i))) ++i;
      t.text = std::string(text.substr(start, i - start));
    } else if (IsIdentStart(c)) {
      t.kind = TokenKind::kWord;
      while (IsIdentChar(at(i))) ++i;
      t.text = std::string(text.substr(start, i - start));
    } else {
      t.kind = TokenKind::kPunct;
      std::string two(text.substr(i, 2));
      if (two == "<>" || two == "!=" || two == ">=" || two == "<=" || two == "!<" || two == "!>") {
        i += 2;
      } else {
        ++i;
      }
      t.text = std::string(text.substr(start, i - start));
    }
    t.raw = std::string(text.substr(start, i - start));
    out.tokens.push_back(std::move(t));
  }
  return out;
}

namespace {

bool IsKeyword(const Token& t, std::string_view w) {
  return t.kind == TokenKind::kWord && NamesEqual(t.text, w);
}
bool IsAnyKeyword(const Token& t, std::initializer_list<std::string_view> words) {
  for (auto w : words) {
    if (IsKeyword(t, w)) return true;
  }
  return false;
}

}  // namespace

// SQL Server needs no ";" between statements: a batch reads on from one statement into the next wherever the
// grammar lets one end.
bool StartsStatement(const Token& t) {
  return IsAnyKeyword(
      t, {"select",  "insert", "update", "delete",    "create",     "alter",      "drop",        "declare",
          "set",     "use",    "exec",   "execute",   "begin",      "commit",     "rollback",    "save",
          "if",      "while",  "print",  "raiserror", "grant",      "revoke",     "deny",        "truncate",
          "kill",    "dbcc",   "backup", "restore",   "return",     "break",      "continue",    "goto",
          "waitfor", "open",   "close",  "fetch",     "deallocate", "checkpoint", "reconfigure", "shutdown",
          "bulk",    "else",   "end"});
}

namespace {

// Statements whose body runs to the end of the batch.
bool TakesRestOfBatch(const std::vector<Token>& tokens, size_t start) {
  if (!IsAnyKeyword(tokens[start], {"create", "alter"})) return false;
  size_t k = start + 1;
  if (k + 1 < tokens.size() && IsKeyword(tokens[k], "or") && IsKeyword(tokens[k + 1], "alter")) k += 2;
  return k < tokens.size() && IsAnyKeyword(tokens[k], {"procedure", "proc", "function", "trigger", "view"});
}

class BatchSplitter {
 public:
  explicit BatchSplitter(const std::vector<Token>& tokens) : t_(tokens) {}

  // The index just past the statement that begins at `start` (its ";" not included).
  size_t End(size_t start) {
    if (start >= t_.size()) return start;
    if (TakesRestOfBatch(t_, start)) return t_.size();
    if (IsAnyKeyword(t_[start], {"if", "while"})) return Conditional(start);
    if (IsKeyword(t_[start], "begin") &&
        !(start + 1 < t_.size() &&
          IsAnyKeyword(t_[start + 1], {"tran", "transaction", "distributed", "dialog", "conversation"}))) {
      return Block(start);
    }
    return Simple(start);
  }

 private:
  bool At(size_t i, std::string_view w) const { return i < t_.size() && IsKeyword(t_[i], w); }
  bool Semicolon(size_t i) const {
    return i < t_.size() && t_[i].kind == TokenKind::kPunct && t_[i].text == ";";
  }

  // IF/WHILE condition, then one statement, then for IF an optional ELSE and one statement.
  size_t Conditional(size_t start) {
    size_t body = Scan(start + 1, start, true);
    if (body >= t_.size() || Semicolon(body)) return body;
    size_t end = End(body);
    size_t after = Semicolon(end) ? end + 1 : end;
    if (IsKeyword(t_[start], "if") && At(after, "else")) return End(after + 1);
    return end;
  }

  // BEGIN [TRY] ... END [TRY] [BEGIN CATCH ... END CATCH]
  size_t Block(size_t start) {
    size_t i = start + 1;
    if (At(i, "try") || At(i, "catch")) ++i;
    while (i < t_.size()) {
      if (Semicolon(i)) {
        ++i;
      } else if (At(i, "end")) {
        ++i;
        if (At(i, "try") || At(i, "catch")) {
          bool was_try = At(i, "try");
          ++i;
          if (was_try && At(i, "begin") && At(i + 1, "catch")) return Block(i);
        }
        return i;
      } else {
        size_t next = End(i);
        i = next > i ? next : i + 1;
      }
    }
    return i;
  }

  size_t Simple(size_t start) { return Scan(start + 1, start, false); }

  // Reads from `i` to the first place a new statement begins (or a ";"), outside parentheses and CASE.
  // `condition` reads an IF/WHILE condition, which ends at the first statement word.
  size_t Scan(size_t i, size_t start, bool condition) {
    int depth = 0, cases = 0;
    bool values_seen = false;
    int continuations = 0;  // words that continue this statement once (UPDATE ... SET, ALTER TABLE t ALTER)
    for (; i < t_.size(); ++i) {
      const Token& t = t_[i];
      if (t.kind == TokenKind::kPunct) {
        if (t.text == "(") ++depth;
        if (t.text == ")") --depth;
        if (t.text == ";" && depth <= 0) return i;
        continue;
      }
      if (depth > 0 || t.kind != TokenKind::kWord) continue;
      if (IsKeyword(t, "case")) ++cases;
      if (IsKeyword(t, "values")) values_seen = true;
      if (cases > 0) {
        if (IsKeyword(t, "end")) --cases;
        continue;
      }
      if (!StartsStatement(t)) continue;
      if (condition) return i;
      if (!EndsHere(start, i, values_seen, continuations)) continue;
      return i;
    }
    return i;
  }

  // Whether the statement word at `i` begins a new statement rather than continuing the one at `start`.
  bool EndsHere(size_t start, size_t i, bool values_seen, int& continuations) const {
    const Token& t = t_[i];
    const Token& prev = t_[i - 1];
    const Token& first = t_[start];
    if (IsAnyKeyword(prev, {"union", "all", "except", "intersect"}) && IsKeyword(t, "select")) return false;
    // ON DELETE CASCADE, FOR UPDATE, WITH ROLLBACK IMMEDIATE, ON DELETE SET NULL, DROP TABLE IF EXISTS
    if (IsAnyKeyword(prev, {"for", "with", "then", "as"})) return false;
    if (IsKeyword(prev, "on") && IsAnyKeyword(t, {"delete", "update"})) return false;
    if (IsKeyword(t, "set") && IsAnyKeyword(prev, {"delete", "update"})) return false;
    if (IsKeyword(t, "if") &&
        IsAnyKeyword(prev,
                     {"table",    "index",      "view",     "procedure", "proc",    "function", "trigger",
                      "database", "schema",     "type",     "user",      "role",    "login",    "statistics",
                      "column",   "constraint", "sequence", "synonym",   "default", "rule"})) {
      return false;
    }
    // GRANT SELECT, INSERT ON t TO u: the privileges are statement words.
    if (IsAnyKeyword(first, {"grant", "revoke", "deny"})) {
      for (size_t k = start; k < i; ++k) {
        if (IsAnyKeyword(t_[k], {"to", "from"})) return k + 1 < i;
      }
      return false;
    }
    bool continues =
        (IsKeyword(first, "update") && IsKeyword(t, "set")) ||
        (IsKeyword(first, "alter") && IsAnyKeyword(t, {"alter", "drop", "set"})) ||
        (IsKeyword(first, "insert") && !values_seen && IsAnyKeyword(t, {"select", "exec", "execute"}));
    if (continues && continuations == 0) {
      ++continuations;
      return false;
    }
    return true;
  }

  const std::vector<Token>& t_;
};

}  // namespace

std::vector<std::vector<Token>> SplitStatements(const std::vector<Token>& tokens) {
  std::vector<std::vector<Token>> out;
  BatchSplitter splitter(tokens);
  size_t i = 0;
  while (i < tokens.size()) {
    if (tokens[i].kind == TokenKind::kPunct && tokens[i].text == ";") {
      ++i;
      continue;
    }
    size_t end = std::max(splitter.End(i), i + 1);
    out.emplace_back(tokens.begin() + static_cast<long>(i), tokens.begin() + static_cast<long>(end));
    i = end;
  }
  return out;
}

}  // namespace standin
