// Login, user and object names as the server's default, case-insensitive
// collations compare them.
#pragma once

#include <string>
#include <string_view>

namespace csql {

// `text` upper-cased as those collations fold the names met here: ASCII and the
// accented Latin-1 letters of Portuguese names ("joão" gives "JOÃO"); other
// characters are unchanged.
std::string UpperName(std::string_view text);

// True when `a` and `b` name the same login, user or object: compared upper-cased
// by UpperName, without their surrounding blanks.
bool SameName(std::string_view a, std::string_view b);

}  // namespace csql
