#include "server_names.h"

#include "platform/text.h"

namespace csql {

std::string UpperName(std::string_view text) {
  std::u32string code_points = platform::DecodeUtf8(text);
  for (char32_t& c : code_points) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 0x20;
  }
  return platform::EncodeUtf8(code_points);
}

bool SameName(std::string_view a, std::string_view b) {
  return UpperName(platform::Trim(a)) == UpperName(platform::Trim(b));
}

}  // namespace csql
