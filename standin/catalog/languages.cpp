#include "catalog/languages.h"

namespace standin {

namespace {

// us_english is not a row of sys.syslanguages but always exists; the others keep their syslanguages names.
const LanguageDef kLanguages[] = {
    {"us_english", "English", DateOrder::kMdy},
    {"British", "British English", DateOrder::kDmy},
    {"Deutsch", "German", DateOrder::kDmy},
    {"Français", "French", DateOrder::kDmy},
    {"Español", "Spanish", DateOrder::kDmy},
    {"Italiano", "Italian", DateOrder::kDmy},
    {"Nederlands", "Dutch", DateOrder::kDmy},
    {"Português", "Portuguese", DateOrder::kDmy},
    {"Português (Brasil)", "Brazilian", DateOrder::kDmy},
    {"Svenska", "Swedish", DateOrder::kYmd},
    {"magyar", "Hungarian", DateOrder::kYmd},
    {"日本語", "Japanese", DateOrder::kYmd},
    {"简体中文", "Simplified Chinese", DateOrder::kYmd},
};

}  // namespace

const LanguageDef* FindLanguage(std::string_view name) {
  for (const auto& language : kLanguages) {
    if (NamesEqual(language.name, name) || NamesEqual(language.alias, name)) return &language;
  }
  return nullptr;
}

}  // namespace standin
