// Cutting a script of stored procedures into its batches, and finding the CREATE
// each batch is sent from. Both read T-SQL text as the server does: a GO line or the
// word CREATE inside a string, a quoted name or a comment does not count.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace csql {

// The batches of `script`, cut at the lines that hold exactly "GO" (CR LF, GO,
// CR LF) where they stand in code; a last line "GO" after CR LF with nothing
// behind it ends the last batch too. Empty batches are dropped; the others are
// the script's text between the GO lines, unchanged.
std::vector<std::string> SplitBatches(const std::string& script);

// Where the first whole word CREATE (any letter case) stands in code in `batch`,
// or npos.
std::size_t FindCreate(std::string_view batch);

}  // namespace csql
