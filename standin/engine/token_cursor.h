// One cursor over a statement's tokens, shared by the pattern matcher, the SELECT parser, CREATE TABLE,
// INSERT and procedure-call parsing, so that every statement reads identifiers, names and literals the same
// way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/sql_lexer.h"

namespace standin {

bool IsIdent(const Token& t);  // a bare word that is not reserved, or a [bracketed]/"quoted" identifier
bool IsPunct(const Token& t, std::string_view p);
bool IsWord(const Token& t, std::string_view w);  // a bare word, compared without case

// The value a literal token stands for: a string, a number (int64 when it fits, a decimal with its scale,
// a float when written with an exponent), a 0x... binary, or a bound parameter's value. `negative` applies a
// leading minus sign read separately.
Value LiteralValue(const Token& t, bool negative);

// The type SQL Server gives a literal value in an expression or an assignment.
SqlType LiteralType(const Value& v, bool national = false);

class TokenCursor {
 public:
  explicit TokenCursor(const std::vector<Token>& tokens, size_t pos = 0) : t_(tokens), i_(pos) {}

  const std::vector<Token>& tokens() const { return t_; }
  size_t pos() const { return i_; }
  void Seek(size_t pos) { i_ = pos; }
  bool AtEnd() const { return i_ >= t_.size(); }
  const Token* Peek(size_t k = 0) const { return i_ + k < t_.size() ? &t_[i_ + k] : nullptr; }
  const Token& Next() { return t_[i_++]; }

  bool PeekWord(std::string_view w, size_t k = 0) const { return Peek(k) && IsWord(*Peek(k), w); }
  bool PeekPunct(std::string_view p, size_t k = 0) const { return Peek(k) && IsPunct(*Peek(k), p); }
  bool AcceptWord(std::string_view w) { return PeekWord(w) ? (++i_, true) : false; }
  bool AcceptPunct(std::string_view p) { return PeekPunct(p) ? (++i_, true) : false; }

  // An identifier; false (not moving) when the next token is none.
  bool Ident(std::string& out);
  // A multi-part name: a.b.c, a..c (an empty part); `written` gets the text as written.
  bool Name(std::vector<std::string>& parts, std::string* written = nullptr);
  // [-] number, string, NULL or bound parameter.
  bool Literal(Value& out, bool* national = nullptr);
  // "( ... )" with nested parentheses, kept as written (strings re-quoted).
  bool ParenGroup(std::string& out);

 private:
  const std::vector<Token>& t_;
  size_t i_;
};

}  // namespace standin
