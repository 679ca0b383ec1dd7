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

std::vector<std::vector<Token>> SplitStatements(const std::vector<Token>& tokens) {
  std::vector<std::vector<Token>> out(1);
  for (const auto& t : tokens) {
    if (t.kind == TokenKind::kPunct && t.text == ";") {
      if (!out.back().empty()) out.emplace_back();
      continue;
    }
    out.back().push_back(t);
  }
  if (out.back().empty()) out.pop_back();
  return out;
}

}  // namespace standin
