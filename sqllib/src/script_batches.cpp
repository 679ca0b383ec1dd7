// The batch scanner behind the procedure installer: which characters of a T-SQL
// script stand in code.
#include "script_batches.h"

#include <cctype>

#include "platform/text.h"

namespace csql {
namespace {

bool IsWordChar(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

// Walks T-SQL text and says, position by position, whether it stands in code or
// inside a string, a quoted or bracketed name, or a comment (block comments nest,
// as they do in T-SQL). A line comment ends at its line break, which counts as code.
class SqlScanner {
 public:
  explicit SqlScanner(std::string_view text) : text_(text) {}

  // True when the character at Position() stands in code.
  [[nodiscard]] bool InCode() const {
    return state_ == State::kCode ||
           (state_ == State::kLineComment && (text_[pos_] == '\r' || text_[pos_] == '\n'));
  }
  [[nodiscard]] std::size_t Position() const { return pos_; }
  [[nodiscard]] bool AtEnd() const { return pos_ >= text_.size(); }
  // Passes over `count` characters of code (a separator found at a line break).
  void Skip(std::size_t count) {
    state_ = State::kCode;
    pos_ += count;
  }

  // Consumes one character (two for the pairs that open or close a context).
  void Advance() {
    const char c = text_[pos_];
    const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
    switch (state_) {
      case State::kCode:
        if (c == '\'' || c == '"' || c == '[') {
          close_ = c == '[' ? ']' : c;
          state_ = State::kQuoted;
        } else if (c == '-' && next == '-') {
          state_ = State::kLineComment;
          ++pos_;
        } else if (c == '/' && next == '*') {
          state_ = State::kBlockComment;
          depth_ = 1;
          ++pos_;
        }
        break;
      case State::kQuoted:
        if (c == close_) {
          if (next == close_) {
            ++pos_;  // doubled: the character itself
          } else {
            state_ = State::kCode;
          }
        }
        break;
      case State::kLineComment:
        if (c == '\r' || c == '\n') state_ = State::kCode;
        break;
      case State::kBlockComment:
        if (c == '/' && next == '*') {
          ++depth_;
          ++pos_;
        } else if (c == '*' && next == '/') {
          ++pos_;
          if (--depth_ == 0) state_ = State::kCode;
        }
        break;
    }
    ++pos_;
  }

 private:
  enum class State { kCode, kQuoted, kLineComment, kBlockComment };
  std::string_view text_;
  std::size_t pos_ = 0;
  State state_ = State::kCode;
  char close_ = '\0';
  int depth_ = 0;
};

}  // namespace

std::size_t LineEndAt(std::string_view text, std::size_t pos) {
  if (text.substr(pos, 2) == "\r\n") return 2;
  return pos < text.size() && text[pos] == '\n' ? 1 : 0;
}

std::vector<std::string> SplitBatches(const std::string& script) {
  const std::string_view text(script);
  std::vector<std::string> batches;
  std::size_t start = 0;
  const auto cut = [&](std::size_t end) {
    if (end > start) batches.push_back(script.substr(start, end - start));
  };
  SqlScanner scanner(script);
  while (!scanner.AtEnd()) {
    const std::size_t pos = scanner.Position();
    if (const std::size_t before = scanner.InCode() ? LineEndAt(text, pos) : 0;
        before > 0 && text.substr(pos + before, 2) == "GO") {
      const std::size_t after_go = pos + before + 2;
      if (after_go == text.size()) {
        cut(pos);
        start = text.size();
        break;
      }
      if (const std::size_t after = LineEndAt(text, after_go); after > 0) {
        cut(pos);
        scanner.Skip(before + 2 + after);
        start = after_go + after;
        continue;
      }
    }
    scanner.Advance();
  }
  cut(script.size());
  return batches;
}

namespace {

// True when a word may start at `pos`: at the start, after a character that
// cannot be part of a name, or after the byte-order mark a script saved by a
// Windows editor begins with.
bool StartsWord(std::string_view text, std::size_t pos) {
  static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  return pos == 0 || !IsWordChar(text[pos - 1]) ||
         (pos == kByteOrderMark.size() && text.substr(0, pos) == kByteOrderMark);
}

}  // namespace

// Where the first whole word CREATE stands in code, or npos.
std::size_t FindCreate(std::string_view batch) {
  static constexpr std::string_view kCreate = "create";
  SqlScanner scanner(batch);
  while (!scanner.AtEnd()) {
    const std::size_t pos = scanner.Position();
    if (scanner.InCode() && platform::EqualsIgnoringCase(batch.substr(pos, kCreate.size()), kCreate) &&
        StartsWord(batch, pos) &&
        (pos + kCreate.size() == batch.size() || !IsWordChar(batch[pos + kCreate.size()]))) {
      return pos;
    }
    scanner.Advance();
  }
  return std::string_view::npos;
}

}  // namespace csql
