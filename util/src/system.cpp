// System helpers: facts about the computer the program runs on, the desktop's
// folder dialog and beep, waits, and the display mode.
#include <sys/random.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "platform/error.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

namespace {

// The database driver reads the host name it sends at login into a buffer of this
// size, cut to one byte less; reading it the same way keeps the two names equal
// even for an overlong host name.
constexpr std::size_t kDriverHostNameBuffer = 128;

// The units of FreeSpace. The "megabyte" is 1,024,000 bytes, not 1,048,576: the
// figures callers store and compare were always computed that way.
constexpr double kKilobyte = 1024.0;
constexpr double kMegabyte = 1024000.0;

}  // namespace

bool EDiv::GetMachineName(platform::Variant& rpsComputerName) const {
  std::array<char, kDriverHostNameBuffer> buffer{};
  if (gethostname(buffer.data(), buffer.size()) != 0) return false;
  buffer.back() = '\0';
  rpsComputerName = platform::Variant(platform::Trim(std::string(buffer.data(), std::strlen(buffer.data()))));
  return true;
}

double EDiv::FreeSpace(const std::string& strDisco, std::int32_t enumUnidades) const {
  struct statvfs fs {};
  if (statvfs(strDisco.c_str(), &fs) != 0) return 0;
  // The free space of the whole disk, not the part an unprivileged user may
  // fill: f_bfree, not f_bavail.
  const double bytes = static_cast<double>(fs.f_bfree) * static_cast<double>(fs.f_frsize);
  switch (enumUnidades) {
    case 0:
      return bytes;
    case 1:
      return bytes / kKilobyte;
    case 2:
      return bytes / kMegabyte;
    default:
      return 0;
  }
}

std::string EDiv::GetGUID() const {
  std::array<unsigned char, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw platform::Error(
          platform::kErrUnspecified,
          std::string("Não foi possível criar um identificador novo: ") + std::strerror(errno));
    }
    filled += static_cast<std::size_t>(got);
  }
  // Version 4 (random) in the high nibble of the seventh byte and the variant
  // of RFC 4122 in the two high bits of the ninth, so the identifier is never
  // the zero one.
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "{";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  text += '}';
  return text;
}

std::string EDiv::BrowseForFolder(platform::WindowHandle lngHwnd, const std::string& strPrompt) const {
  try {
    return platform::Ui().BrowseForFolder(lngHwnd, strPrompt);
  } catch (const std::exception&) {
    return {};
  }
}

void EDiv::Bip(std::int32_t /*Frequency*/, std::int32_t Duration) const {
  try {
    platform::Ui().Beep();
  } catch (const std::exception&) {
    // A beep that cannot sound is not worth a failure; the wait still keeps
    // the caller's rhythm.
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(std::max<std::int32_t>(Duration, 0)));
}

void EDiv::Espera(std::int16_t NSec) const {
  if (NSec <= 0) return;
  // The wait ends when the time of day has turned NSec whole seconds, so the
  // part of the current second already gone is taken off; the rest is slept on
  // the monotonic clock, which no clock setting moves.
  const auto into_second = std::chrono::system_clock::now().time_since_epoch() % std::chrono::seconds(1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(NSec) -
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(into_second);
  std::this_thread::sleep_until(deadline);
}

bool EDiv::VerSeExiste(const platform::Connection& conn, const std::string& strSQL) const {
  // A connection object shares its session: this copy runs on the caller's.
  platform::Connection session = conn;
  platform::Recordset rst = session.Execute(strSQL, platform::kOptionUnspecified);
  const bool found = !IsVazio(rst);
  rst.Close();
  return found;
}

bool EDiv::ISDesign() const {
#ifdef NDEBUG
  return false;
#else
  return true;
#endif
}

bool EDiv::MudaResolucao(std::int32_t /*Comprimento*/, std::int32_t /*Altura*/) const {
  return false;
}
