#include "engine/token_cursor.h"

#include <stdexcept>

namespace standin {

bool IsIdent(const Token& t) {
  return (t.kind == TokenKind::kWord && !IsReserved(t.text)) || t.kind == TokenKind::kQuotedIdent;
}

bool IsPunct(const Token& t, std::string_view p) {
  return t.kind == TokenKind::kPunct && t.text == p;
}

bool IsWord(const Token& t, std::string_view w) {
  return t.kind == TokenKind::kWord && NamesEqual(t.text, w);
}

namespace {

Value HexValue(const std::string& text) {
  Bytes b;
  // An odd digit count is read as if a leading 0 were written, as the server reads 0x123.
  std::string digits = text.substr(2);
  if (digits.size() % 2) digits.insert(digits.begin(), '0');
  for (size_t k = 0; k + 1 < digits.size(); k += 2)
    b.push_back(static_cast<uint8_t>(std::stoi(digits.substr(k, 2), nullptr, 16)));
  return Value(b);
}

}  // namespace

Value LiteralValue(const Token& t, bool negative) {
  if (t.is_bound) return t.bound;
  if (t.kind == TokenKind::kString) return Value(t.text);
  if (t.kind != TokenKind::kNumber) return Value{};
  if (t.text.size() >= 2 && (t.text[1] == 'x' || t.text[1] == 'X')) return HexValue(t.text);
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

SqlType LiteralType(const Value& v, bool national) {
  if (auto* i = std::get_if<int64_t>(&v.v)) {
    return *i >= INT32_MIN && *i <= INT32_MAX ? IntType() : *ParseSqlType("bigint");
  }
  if (std::holds_alternative<double>(v.v)) return *ParseSqlType("float");
  if (auto* d = std::get_if<Decimal>(&v.v)) {
    int digits = static_cast<int>(std::to_string(d->unscaled < 0 ? -d->unscaled : d->unscaled).size());
    SqlType t = *ParseSqlType("numeric(38,0)");
    t.precision = std::max(digits, d->scale);
    t.scale = d->scale;
    return t;
  }
  if (auto* b = std::get_if<Bytes>(&v.v)) {
    // Longer than 8000 bytes, a value (a picture bound as a parameter) is varbinary(max).
    SqlType t = *ParseSqlType("varbinary(max)");
    if (b->size() <= 8000) t.length = static_cast<int>(std::max<size_t>(1, b->size()));
    return t;
  }
  if (std::holds_alternative<DateTime>(v.v)) return *ParseSqlType("datetime");
  if (auto* s = std::get_if<std::string>(&v.v)) {
    int length = std::max<int>(1, static_cast<int>(national ? Utf8ToUtf16(*s).size() : s->size()));
    return national ? NVarCharType(std::min(length, 4000)) : VarCharType(std::min(length, 8000));
  }
  return IntType();  // NULL
}

bool TokenCursor::Ident(std::string& out) {
  if (AtEnd() || !IsIdent(t_[i_])) return false;
  out = t_[i_++].text;
  return true;
}

bool TokenCursor::Name(std::vector<std::string>& parts, std::string* written) {
  const size_t start = i_;
  std::string part;
  if (!Ident(part)) return false;
  parts.push_back(part);
  while (PeekPunct(".")) {
    ++i_;
    if (PeekPunct(".")) {
      parts.push_back("");
    } else if (Ident(part)) {
      parts.push_back(part);
    } else {
      return false;
    }
  }
  if (written) {
    written->clear();
    for (size_t k = start; k < i_; ++k) *written += t_[k].raw;
  }
  return true;
}

bool TokenCursor::Literal(Value& out, bool* national) {
  const size_t start = i_;
  bool negative = false;
  if (PeekPunct("-") && Peek(1) && Peek(1)->kind == TokenKind::kNumber) {
    negative = true;
    ++i_;
  }
  const Token* p = Peek();
  if (!p) return false;
  if (IsWord(*p, "null") && !negative) {
    out = Value{};
  } else if (p->is_bound || p->kind == TokenKind::kString || p->kind == TokenKind::kNumber) {
    out = LiteralValue(*p, negative);
  } else {
    i_ = start;
    return false;
  }
  if (national) *national = p->national || (p->is_bound && std::holds_alternative<std::string>(p->bound.v));
  ++i_;
  return true;
}

bool TokenCursor::ParenGroup(std::string& out) {
  int depth = 0;
  bool word_before = false;
  do {
    if (AtEnd()) return false;
    const Token& x = t_[i_];
    if (IsPunct(x, "(")) ++depth;
    if (IsPunct(x, ")")) --depth;
    bool word = x.kind != TokenKind::kPunct;
    if (word && word_before) out += ' ';
    out += x.kind == TokenKind::kString ? "'" + x.text + "'" : x.raw;
    word_before = word;
    ++i_;
  } while (depth > 0);
  return true;
}

}  // namespace standin
