// Cutting a script of stored procedures into its batches, and finding the CREATE
// each batch is sent from. Both read T-SQL text as the server does: a GO line or the
// word CREATE inside a string, a quoted name or a comment does not count.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace csql {

// The batches of `script`, cut at the lines that hold exactly "GO" where they
// stand in code: CR LF, GO, CR LF as scripts made on Windows have them, or with
// LF alone for either line end, as a script written on Linux has them; a last
// line "GO" with nothing behind it ends the last batch too. Empty batches are
// dropped; the others are the script's text between the GO lines, unchanged.
std::vector<std::string> SplitBatches(const std::string& script);

// The length of the line end at `pos` of `text`: 2 for CR LF, 1 for LF, else 0.
std::size_t LineEndAt(std::string_view text, std::size_t pos);

// Where the first whole word CREATE (any letter case) stands in code in `batch`,
// or npos.
std::size_t FindCreate(std::string_view batch);

}  // namespace csql
