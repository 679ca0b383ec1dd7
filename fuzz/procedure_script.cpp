// The procedure installer's batch splitter. Properties:
//  - the batches are the script's own text, in order, and what lies between them
//    is nothing but GO lines: joined with the GO lines they give back the script;
//  - no batch is empty or starts with a GO line the splitter should have cut;
//  - splitting the batches joined again with GO lines gives the same batches;
//  - the CREATE found in a batch is the word CREATE, standing alone.
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
constexpr std::string_view kFinalSeparator = "\r\nGO";

[[noreturn]] void Fail(const std::string& what, const std::string& script) {
  std::cerr << what << ": [" << script << "]\n";
  std::abort();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Walks the script: every stretch is either a GO line or the next batch. A batch
// never starts with a GO line (a GO line right after another one cuts an empty
// batch, which is dropped), so a GO line at the cursor is always a cut.
void CheckCover(const std::string& script, const std::vector<std::string>& batches) {
  std::string_view rest(script);
  std::size_t next = 0;
  while (!rest.empty()) {
    if (StartsWith(rest, kSeparator)) {
      rest.remove_prefix(kSeparator.size());
    } else if (next < batches.size() && StartsWith(rest, batches[next])) {
      rest.remove_prefix(batches[next].size());
      ++next;
    } else if (rest == kFinalSeparator && next == batches.size()) {
      rest = {};
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
    if (StartsWith(batch, kSeparator)) Fail("a batch starting with a GO line", script);
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
    if ((create > 0 && IsWordChar(batch[create - 1])) ||
        (create + 6 < batch.size() && IsWordChar(batch[create + 6]))) {
      Fail("FindCreate points inside a word", batch);
    }
  }
  return 0;
}
