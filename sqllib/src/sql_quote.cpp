#include "sqllib/sql_quote.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text.h"

namespace csql {
namespace {

// SQL Server's reserved keywords: a name spelled like one must be bracketed.
constexpr std::string_view kReserved[] = {"ADD",
                                          "ALL",
                                          "ALTER",
                                          "AND",
                                          "ANY",
                                          "AS",
                                          "ASC",
                                          "AUTHORIZATION",
                                          "BACKUP",
                                          "BEGIN",
                                          "BETWEEN",
                                          "BREAK",
                                          "BROWSE",
                                          "BULK",
                                          "BY",
                                          "CASCADE",
                                          "CASE",
                                          "CHECK",
                                          "CHECKPOINT",
                                          "CLOSE",
                                          "CLUSTERED",
                                          "COALESCE",
                                          "COLLATE",
                                          "COLUMN",
                                          "COMMIT",
                                          "COMPUTE",
                                          "CONSTRAINT",
                                          "CONTAINS",
                                          "CONTAINSTABLE",
                                          "CONTINUE",
                                          "CONVERT",
                                          "CREATE",
                                          "CROSS",
                                          "CURRENT",
                                          "CURRENT_DATE",
                                          "CURRENT_TIME",
                                          "CURRENT_TIMESTAMP",
                                          "CURRENT_USER",
                                          "CURSOR",
                                          "DATABASE",
                                          "DBCC",
                                          "DEALLOCATE",
                                          "DECLARE",
                                          "DEFAULT",
                                          "DELETE",
                                          "DENY",
                                          "DESC",
                                          "DISK",
                                          "DISTINCT",
                                          "DISTRIBUTED",
                                          "DOUBLE",
                                          "DROP",
                                          "DUMP",
                                          "ELSE",
                                          "END",
                                          "ERRLVL",
                                          "ESCAPE",
                                          "EXCEPT",
                                          "EXEC",
                                          "EXECUTE",
                                          "EXISTS",
                                          "EXIT",
                                          "EXTERNAL",
                                          "FETCH",
                                          "FILE",
                                          "FILLFACTOR",
                                          "FOR",
                                          "FOREIGN",
                                          "FREETEXT",
                                          "FREETEXTTABLE",
                                          "FROM",
                                          "FULL",
                                          "FUNCTION",
                                          "GOTO",
                                          "GRANT",
                                          "GROUP",
                                          "HAVING",
                                          "HOLDLOCK",
                                          "IDENTITY",
                                          "IDENTITY_INSERT",
                                          "IDENTITYCOL",
                                          "IF",
                                          "IN",
                                          "INDEX",
                                          "INNER",
                                          "INSERT",
                                          "INTERSECT",
                                          "INTO",
                                          "IS",
                                          "JOIN",
                                          "KEY",
                                          "KILL",
                                          "LEFT",
                                          "LIKE",
                                          "LINENO",
                                          "LOAD",
                                          "MERGE",
                                          "NATIONAL",
                                          "NOCHECK",
                                          "NONCLUSTERED",
                                          "NOT",
                                          "NULL",
                                          "NULLIF",
                                          "OF",
                                          "OFF",
                                          "OFFSETS",
                                          "ON",
                                          "OPEN",
                                          "OPENDATASOURCE",
                                          "OPENQUERY",
                                          "OPENROWSET",
                                          "OPENXML",
                                          "OPTION",
                                          "OR",
                                          "ORDER",
                                          "OUTER",
                                          "OVER",
                                          "PERCENT",
                                          "PIVOT",
                                          "PLAN",
                                          "PRECISION",
                                          "PRIMARY",
                                          "PRINT",
                                          "PROC",
                                          "PROCEDURE",
                                          "PUBLIC",
                                          "RAISERROR",
                                          "READ",
                                          "READTEXT",
                                          "RECONFIGURE",
                                          "REFERENCES",
                                          "REPLICATION",
                                          "RESTORE",
                                          "RESTRICT",
                                          "RETURN",
                                          "REVERT",
                                          "REVOKE",
                                          "RIGHT",
                                          "ROLLBACK",
                                          "ROWCOUNT",
                                          "ROWGUIDCOL",
                                          "RULE",
                                          "SAVE",
                                          "SCHEMA",
                                          "SECURITYAUDIT",
                                          "SELECT",
                                          "SEMANTICKEYPHRASETABLE",
                                          "SEMANTICSIMILARITYDETAILSTABLE",
                                          "SEMANTICSIMILARITYTABLE",
                                          "SESSION_USER",
                                          "SET",
                                          "SETUSER",
                                          "SHUTDOWN",
                                          "SOME",
                                          "STATISTICS",
                                          "SYSTEM_USER",
                                          "TABLE",
                                          "TABLESAMPLE",
                                          "TEXTSIZE",
                                          "THEN",
                                          "TO",
                                          "TOP",
                                          "TRAN",
                                          "TRANSACTION",
                                          "TRIGGER",
                                          "TRUNCATE",
                                          "TRY_CONVERT",
                                          "TSEQUAL",
                                          "UNION",
                                          "UNIQUE",
                                          "UNPIVOT",
                                          "UPDATE",
                                          "UPDATETEXT",
                                          "USE",
                                          "USER",
                                          "VALUES",
                                          "VARYING",
                                          "VIEW",
                                          "WAITFOR",
                                          "WHEN",
                                          "WHERE",
                                          "WHILE",
                                          "WITH",
                                          "WITHIN",
                                          "WRITETEXT"};

bool IsReserved(std::string_view name) {
  return std::any_of(std::begin(kReserved), std::end(kReserved),
                     [&](std::string_view word) { return platform::EqualsIgnoringCase(word, name); });
}

// The letters a name may hold unbracketed: ASCII letters, and outside ASCII the
// Latin letters (Latin-1's accented letters, ª, º and µ, Latin Extended-A and -B),
// which cover the names met here. Any other character outside ASCII (a degree
// sign, a euro sign, a no-break space, a byte that is no UTF-8) has the name
// bracketed: SQL Server refuses a bare symbol, and brackets never hurt a name.
bool IsLetter(char32_t c) {
  if (c < 0x80) return std::isalpha(static_cast<int>(c)) != 0;
  return c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

bool IsDigit(char32_t c) {
  return c >= '0' && c <= '9';
}

bool HasNonAscii(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::string Enclose(std::string_view text, char open, char close, std::string_view prefix = {}) {
  std::string out(prefix);
  out += open;
  for (char c : text) {
    out += c;
    if (c == close) out += close;
  }
  out += close;
  return out;
}

}  // namespace

bool IsRegularIdentifier(std::string_view name) {
  const std::u32string characters = platform::DecodeUtf8(name);
  if (characters.empty()) return false;
  const char32_t first = characters.front();
  if (!IsLetter(first) && first != '_' && first != '#') return false;
  for (std::size_t i = 1; i < characters.size(); ++i) {
    const char32_t c = characters[i];
    if (!IsLetter(c) && !IsDigit(c) && c != '_' && c != '@' && c != '$' && c != '#') return false;
  }
  return !IsReserved(name);
}

std::string QuoteName(std::string_view name) {
  if (IsRegularIdentifier(name)) return std::string(name);
  return Enclose(name, '[', ']');
}

std::string BracketName(std::string_view name) {
  return Enclose(name, '[', ']');
}

std::string QuoteObjectName(std::string_view name) {
  // Cut at the dots that stand outside brackets; a part that opens a bracket must
  // close it (with "]]" read as a doubled bracket) right before the next dot.
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i <= name.size()) {
    if (i < name.size() && name[i] == '[' && i == start) {
      ++i;
      while (i < name.size() && !(name[i] == ']' && (i + 1 == name.size() || name[i + 1] != ']'))) {
        i += name[i] == ']' ? 2 : 1;
      }
      if (i >= name.size()) return QuoteName(name);  // unclosed bracket
      ++i;
      if (i < name.size() && name[i] != '.') return QuoteName(name);  // text after "]"
      continue;
    }
    if (i == name.size() || name[i] == '.') {
      parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  if (parts.size() > 4 || std::any_of(parts.begin(), parts.end(), [](auto p) { return p.empty(); })) {
    return QuoteName(name);
  }
  std::string out;
  for (std::string_view part : parts) {
    if (!out.empty()) out += '.';
    out += part.front() == '[' ? std::string(part) : QuoteName(part);
  }
  return out;
}

std::string QuoteLiteral(std::string_view value) {
  return Enclose(value, '\'', '\'', HasNonAscii(value) ? "N" : "");
}

std::string QuoteLike(std::string_view value) {
  std::string pattern;
  for (char c : value) {
    if (c == '_' || c == '%' || c == '[') {
      pattern += '[';
      pattern += c;
      pattern += ']';
    } else {
      pattern += c;
    }
  }
  return QuoteLiteral(pattern);
}

}  // namespace csql
