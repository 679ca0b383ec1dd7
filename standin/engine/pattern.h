// The pattern language of statement forms (see statement_registry.h), compiled once and matched against a
// statement's tokens with backtracking over optional groups.
#pragma once

#include <string>
#include <vector>

#include "engine/statement_registry.h"

namespace standin {

struct PatternElem {
  enum Kind { kWord, kPunct, kCapture, kOptional } kind = kWord;
  std::vector<std::string> words;  // alternatives, lower case
  std::string punct;
  std::string capture_name, capture_kind, constraint;
  std::vector<PatternElem> children;
};

std::vector<PatternElem> CompilePattern(const std::string& pattern);

// Whether `pattern` matches all of `tokens`, filling `caps`; `furthest` gets the furthest token reached,
// where a syntax error is reported when no form matches.
bool MatchPattern(const std::vector<PatternElem>& pattern, const std::vector<Token>& tokens, Captures& caps,
                  size_t& furthest);

}  // namespace standin
