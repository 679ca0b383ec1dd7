// The quoting helpers for statement text, read back by the stand-in's T-SQL lexer:
// a quoted name, literal or LIKE pattern placed in a statement is one token that
// holds exactly the original value, the statement goes on after it, and no second
// statement appears.
#include "sqllib/sql_quote.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "engine/sql_lexer.h"

namespace {

using standin::TokenKind;

[[noreturn]] void Fail(const std::string& what, const std::string& statement) {
  std::cerr << what << ": [" << statement << "]\n";
  std::abort();
}

// Lexes "SELECT <quoted> AS x": the quoted text must be the one token between
// SELECT and AS, and the statement one statement.
standin::Token TheOneToken(const std::string& quoted) {
  const std::string statement = "SELECT " + quoted + " AS x";
  const standin::LexResult lexed = standin::Lex(statement);
  if (lexed.error) Fail("the lexer refuses the statement", statement);
  const auto& tokens = lexed.tokens;
  if (tokens.size() != 4 || tokens[2].text != "AS" || tokens[3].text != "x") {
    Fail("the quoted value is not one token", statement);
  }
  if (standin::SplitStatements(tokens).size() != 1) Fail("a second statement", statement);
  return tokens[1];
}

// The text a LIKE pattern matches, when it matches one text only: "[_]", "[%]" and
// "[[]" stand for the character between the brackets, any other character for
// itself; "%", "_" or another bracket form make it match more than one text.
std::optional<std::string> OnlyMatch(const std::string& pattern) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' || c == '_') return std::nullopt;
    if (c == '[') {
      if (i + 2 >= pattern.size() || pattern[i + 2] != ']') return std::nullopt;
      const char inner = pattern[i + 1];
      if (inner != '%' && inner != '_' && inner != '[') return std::nullopt;
      text += inner;
      i += 2;
      continue;
    }
    text += c;
  }
  return text;
}

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string name = in.ConsumeRandomLengthString(128);
  const std::string value = in.ConsumeRemainingBytesAsString();

  // SQL Server has no empty names; any other name is one identifier token.
  if (!name.empty()) {
    const std::string quoted = csql::QuoteName(name);
    const standin::Token token = TheOneToken(quoted);
    if (token.text != name) Fail("the name reads back changed", quoted);
    const TokenKind expected = csql::IsRegularIdentifier(name) ? TokenKind::kWord : TokenKind::kQuotedIdent;
    if (token.kind != expected) Fail("a name is bracketed when regular, or bare when not", quoted);
  }

  const std::string literal = csql::QuoteLiteral(value);
  const standin::Token string = TheOneToken(literal);
  if (string.kind != TokenKind::kString || string.text != value)
    Fail("the literal reads back changed", literal);
  if (string.national == IsAscii(value))
    Fail("N'' is used for a text that does not need it or missing", literal);

  const std::string like = csql::QuoteLike(value);
  const standin::Token pattern = TheOneToken(like);
  if (pattern.kind != TokenKind::kString) Fail("the pattern is not a literal", like);
  if (OnlyMatch(pattern.text) != value) Fail("the pattern matches other text than the value", like);
  return 0;
}
