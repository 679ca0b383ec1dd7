// The procedure installer's batch splitter. Properties:
//  - the batches are the script's own text, in order, and what lies between them
//    is nothing but GO lines: joined with the GO lines they give back the script;
//  - no batch is empty or starts with a GO line the splitter should have cut;
//  - splitting the batches joined again with GO lines gives the same batches;
//  - the CREATE found in a batch is the word CREATE, standing alone (a byte-order
//    mark may stand before it at the batch's start).
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "script_batches.h"

namespace {

constexpr std::string_view kSeparator = "\r\nGO\r\n";

[[noreturn]] void Fail(const std::string& what, const std::string& script) {
  std::cerr << what << ": [" << script << "]\n";
  std::abort();
}

// The length of the GO line `text` starts with (a line end, GO, a line end, the
// line ends CR LF or LF), 0 when it starts with none; `last` says the GO ends the
// text without a line end behind it.
std::size_t GoLineAt(std::string_view text, bool& last) {
  last = false;
  const std::size_t before = csql::LineEndAt(text, 0);
  if (before == 0 || text.substr(before, 2) != "GO") return 0;
  if (before + 2 == text.size()) {
    last = true;
    return text.size();
  }
  const std::size_t after = csql::LineEndAt(text, before + 2);
  return after == 0 ? 0 : before + 2 + after;
}

// Walks the script: every stretch is either a GO line or the next batch. A batch
// never starts with a GO line (a GO line right after another one cuts an empty
// batch, which is dropped), so a GO line at the cursor is always a cut.
void CheckCover(const std::string& script, const std::vector<std::string>& batches) {
  std::string_view rest(script);
  std::size_t next = 0;
  while (!rest.empty()) {
    bool last = false;
    const std::size_t go_line = GoLineAt(rest, last);
    if (go_line > 0 && (!last || next == batches.size())) {
      rest.remove_prefix(go_line);
    } else if (next < batches.size() && rest.substr(0, batches[next].size()) == batches[next]) {
      rest.remove_prefix(batches[next].size());
      ++next;
    } else {
      Fail("the batches and GO lines do not give back the script", script);
    }
  }
  if (next != batches.size()) Fail("a batch that is not in the script", script);
}

bool IsWordChar(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string script(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> batches = csql::SplitBatches(script);
  CheckCover(script, batches);

  std::string joined;
  for (const std::string& batch : batches) {
    if (batch.empty()) Fail("an empty batch", script);
    bool last = false;
    if (GoLineAt(batch, last) > 0) Fail("a batch starting with a GO line", script);
    if (!joined.empty()) joined += kSeparator;
    joined += batch;
  }
  if (csql::SplitBatches(joined) != batches) Fail("joined again, the batches split differently", script);

  for (const std::string& batch : batches) {
    const std::size_t create = csql::FindCreate(batch);
    if (create == std::string_view::npos) continue;
    std::string word = batch.substr(create, 6);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word != "create") Fail("FindCreate points at [" + word + "]", batch);
    // A byte-order mark before it (a script saved by a Windows editor) is no part of a word.
    const bool after_mark = create == 3 && batch.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if ((create > 0 && !after_mark && IsWordChar(batch[create - 1])) ||
        (create + 6 < batch.size() && IsWordChar(batch[create + 6]))) {
      Fail("FindCreate points inside a word", batch);
    }
  }
  return 0;
}
