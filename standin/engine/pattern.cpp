#include "engine/pattern.h"

#include <cctype>
#include <functional>
#include <stdexcept>

#include "engine/token_cursor.h"

namespace standin {

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

Capture Span(const std::vector<Token>& tokens, size_t from, size_t to) {
  Capture c;
  c.tokens.assign(tokens.begin() + static_cast<long>(from), tokens.begin() + static_cast<long>(to));
  return c;
}

// Reads one capture of `kind` at `ti`; the capture and the position after it, or false.
bool ReadCapture(const PatternElem& e, const std::vector<Token>& tokens, size_t ti, Capture& c, size_t& end) {
  const std::string& kind = e.capture_kind;
  TokenCursor cur(tokens, ti);
  const Token& t = tokens[ti];
  if (kind == "ident") {
    if (!cur.Ident(c.text)) return false;
  } else if (kind == "name") {
    if (!cur.Name(c.parts)) return false;
    c.text = c.parts.back();
    if (!e.constraint.empty() && !NamesEqual(c.text, e.constraint)) return false;
  } else if (kind == "str") {
    if (!(t.kind == TokenKind::kString || (t.is_bound && std::holds_alternative<std::string>(t.bound.v))))
      return false;
    cur.Literal(c.value);
    c.text = c.value.ToText();
  } else if (kind == "num" || kind == "lit" || kind == "arg") {
    if (cur.Literal(c.value)) {
      const Token& v = tokens[cur.pos() - 1];
      bool number =
          v.kind == TokenKind::kNumber || (v.is_bound && !std::holds_alternative<std::string>(v.bound.v));
      if (kind == "num" && !number) return false;
    } else if (kind == "arg" && cur.Ident(c.text)) {
      c.value = Value(c.text);  // a bare word passed to a procedure is a character string
    } else {
      return false;
    }
    c.text = c.value.IsNull() ? "" : c.value.ToText();
  } else if (kind == "type") {
    if (t.kind != TokenKind::kWord && t.kind != TokenKind::kQuotedIdent) return false;
    cur.Next();
    c.text = t.text;
    if (cur.PeekPunct("(")) {
      std::string group;
      if (!cur.ParenGroup(group)) return false;
      for (char ch : group) {
        if (ch != ' ') c.text += ch;
      }
    }
  } else if (kind == "keys") {
    // column [ASC|DESC] [, column [ASC|DESC]]...; parts hold "column" or "column DESC"
    do {
      std::string key;
      if (!cur.Ident(key)) return false;
      if (cur.AcceptWord("desc")) {
        key += " DESC";
      } else {
        cur.AcceptWord("asc");
      }
      c.parts.push_back(key);
    } while (cur.AcceptPunct(","));
  } else if (kind == "expr") {
    // A literal, or a parenthesised expression kept as written.
    if (IsPunct(t, "(")) {
      if (!cur.ParenGroup(c.text)) return false;
    } else if (t.kind == TokenKind::kString || t.kind == TokenKind::kNumber || IsWord(t, "null")) {
      c.text = t.kind == TokenKind::kString ? "'" + t.text + "'" : t.raw;
      cur.Next();
    } else {
      return false;
    }
  } else if (kind == "rest") {
    cur.Seek(tokens.size());
    c.text = JoinTokens(tokens, ti);
  } else {
    throw std::logic_error("unknown capture kind " + kind);
  }
  end = cur.pos();
  Capture span = Span(tokens, ti, end);
  c.tokens = std::move(span.tokens);
  return true;
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
      case PatternElem::kWord:
        return WordElem(e, ti, next);
      case PatternElem::kCapture: {
        Capture c;
        size_t end = ti;
        if (ti >= tokens.size() || !ReadCapture(e, tokens, ti, c, end)) {
          Fail(ti);
          return false;
        }
        caps.Set(e.capture_name, std::move(c));
        if (next(end)) return true;
        caps.Erase(e.capture_name);
        return false;
      }
    }
    return false;
  }

  bool WordElem(const PatternElem& e, size_t ti, const Cont& next) {
    if (ti < tokens.size()) {
      const Token& t = tokens[ti];
      for (const auto& w : e.words) {
        bool kind_ok = w[0] == '@' ? t.kind == TokenKind::kVariable
                                   : (t.kind == TokenKind::kWord || t.kind == TokenKind::kNumber);
        if (kind_ok && NamesEqual(t.text, w)) {
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
};

}  // namespace

std::vector<PatternElem> CompilePattern(const std::string& pattern) {
  size_t i = 0;
  return CompilePattern(pattern, i, false);
}

bool MatchPattern(const std::vector<PatternElem>& pattern, const std::vector<Token>& tokens, Captures& caps,
                  size_t& furthest) {
  Matcher m{tokens, caps};
  bool ok = m.Seq(pattern, 0, 0, [&](size_t ti) {
    if (ti == tokens.size()) return true;
    m.Fail(ti);
    return false;
  });
  furthest = m.furthest;
  return ok;
}

}  // namespace standin
