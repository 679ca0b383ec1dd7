// System helpers: facts about the computer the program runs on.
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "util/ediv.h"

namespace {

// The database driver reads the host name it sends at login into a buffer of this
// size, cut to one byte less; reading it the same way keeps the two names equal
// even for an overlong host name.
constexpr std::size_t kDriverHostNameBuffer = 128;

}  // namespace

bool EDiv::GetMachineName(platform::Variant& rpsComputerName) const {
  std::array<char, kDriverHostNameBuffer> buffer{};
  if (gethostname(buffer.data(), buffer.size()) != 0) return false;
  buffer.back() = '\0';
  rpsComputerName = platform::Variant(platform::Trim(std::string(buffer.data(), std::strlen(buffer.data()))));
  return true;
}
