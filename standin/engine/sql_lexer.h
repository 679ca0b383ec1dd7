// Splits T-SQL text into tokens: words, [bracketed] and "quoted" identifiers, 'strings' and N'strings',
// numbers, @variables and @@functions, and punctuation.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalog/value.h"

namespace standin {

enum class TokenKind { kWord, kQuotedIdent, kString, kNumber, kVariable, kPunct };

struct Token {
  TokenKind kind = TokenKind::kWord;
  std::string text;  // identifier without brackets, string without quotes, punctuation as written
  std::string raw;   // as written in the statement
  bool national = false;
  Value bound;  // a @parameter replaced by its value keeps the value here
  bool is_bound = false;
};

struct LexResult {
  std::vector<Token> tokens;
  std::optional<SqlError> error;  // 105 for an unclosed quotation mark
};

LexResult Lex(std::string_view text);

// Reserved words: these cannot stand as bare identifiers, and a syntax error near one reads "near the
// keyword".
bool IsReserved(std::string_view word);

// Whether the token is a word that begins a T-SQL statement (SELECT, INSERT, CREATE, SET, IF, BEGIN, ...).
bool StartsStatement(const Token& t);

// Splits a batch into statements as SQL Server reads it: at ";" and wherever a new statement begins (SELECT 1
// SELECT 2 is two statements). IF/WHILE take their condition and one statement (IF also its ELSE branch),
// BEGIN ... END takes the block, and CREATE/ALTER PROCEDURE, FUNCTION, TRIGGER and VIEW take the rest of the
// batch as their body.
std::vector<std::vector<Token>> SplitStatements(const std::vector<Token>& tokens);

}  // namespace standin
