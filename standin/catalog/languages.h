// The languages of sys.syslanguages that the stand-in knows, with the date order each sets (SET LANGUAGE sets
// DATEFORMAT too). A login's default language, the login packet's language and SET LANGUAGE name them by
// their official name or alias.
#pragma once

#include <string>
#include <string_view>

#include "catalog/value.h"

namespace standin {

struct LanguageDef {
  const char* name;   // sys.syslanguages.name, as @@LANGUAGE returns it
  const char* alias;  // sys.syslanguages.alias (English name)
  DateOrder order;
};

// The language named `name` (official name or alias, without case); nullptr when the stand-in does not know
// it.
const LanguageDef* FindLanguage(std::string_view name);

}  // namespace standin
