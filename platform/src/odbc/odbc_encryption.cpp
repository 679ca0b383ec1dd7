// Encryption settings for the FreeTDS ODBC driver, and the PRELOGIN probe that explains a failed encrypted
// login.
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/driver.h"
#include "platform/error.h"

namespace platform {

namespace {

std::mutex settings_mutex;
EncryptionSettings current_settings;

// The private freetds.conf, removed when the process ends. FreeTDS 1.3 reads a CA file only from a
// freetds.conf server section named by SERVERNAME, so each server gets a section of its own.
struct ConfigFile {
  std::string path;
  std::optional<std::string> user_variable;                   // FREETDSCONF as the process found it
  std::string user_config;                                    // that file's text
  std::vector<std::pair<std::string, std::string>> sections;  // by "host,port": the section's text

  // Replaced whole, by renaming, so that a connection reading it meanwhile sees the old text or the new.
  void Write() const {
    const std::string next = path + ".new";
    std::ofstream out(next, std::ios::trunc);
    out << user_config;
    for (const auto& section : sections) out << section.second;
    out.close();
    if (!out || std::rename(next.c_str(), path.c_str()) != 0) {
      throw Error(kErrInvalidUse, "cannot write the ODBC driver's configuration " + path);
    }
  }
  ~ConfigFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
};
ConfigFile config_file;

// FreeTDS reads a freetds.conf value up to ";" or "#", folds runs of blanks into one and keeps lines shorter
// than 256 characters, so only paths that survive that can be handed over.
bool FreetdsCanRead(const std::string& path) {
  if (path.empty() || path.size() > 200) return false;
  if (path.find_first_of(";#\r\n\t") != std::string::npos) return false;
  if (path.find("  ") != std::string::npos || path.front() == ' ' || path.back() == ' ') return false;
  return true;
}

std::string SectionName(std::size_t index) {
  return "tavinor-server-" + std::to_string(index + 1);
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string FreetdsCaFile(const EncryptionSettings& settings) {
  if (settings.trust_server_certificate) return "";
  if (!settings.ca_file.empty()) return settings.ca_file;
  const bool asked = settings.mode == EncryptMode::kRequest || settings.mode == EncryptMode::kRequire;
  // Without a CA file FreeTDS would accept any certificate at all; the system's CAs are FreeTDS's "system".
  return asked ? "system" : "";
}

std::string FreetdsServerSection(const std::string& name, const Endpoint& endpoint,
                                 const std::string& ca_file) {
  const std::size_t backslash = endpoint.host.find('\\');
  const std::string host = endpoint.host.substr(0, backslash);
  if (!FreetdsCanRead(host)) {
    throw Error(kErrInvalidUse,
                "the server name '" + host + "' cannot be given to the ODBC driver with --ca-file");
  }
  std::string text = "[" + name + "]\n\thost = " + host + "\n";
  if (!endpoint.port.empty()) {
    text += "\tport = " + endpoint.port + "\n";
  } else if (backslash != std::string::npos) {
    text += "\tinstance = " + endpoint.host.substr(backslash + 1) + "\n";
  }
  // FreeTDS checks that the certificate names the host only when it has a CA to validate against.
  return text + "\tca file = " + ca_file + "\n\tcheck certificate hostname = yes\n";
}

void SetEncryption(const EncryptionSettings& requested) {
  EncryptionSettings settings = requested;
  if (!settings.ca_file.empty()) {
    std::error_code ignored;
    settings.ca_file = std::filesystem::absolute(settings.ca_file, ignored).lexically_normal().string();
    if (!std::ifstream(settings.ca_file)) {
      throw Error(kErrInvalidUse, "the CA file '" + requested.ca_file + "' cannot be read");
    }
    if (!FreetdsCanRead(settings.ca_file)) {
      throw Error(kErrInvalidUse, "the CA file's path '" + settings.ca_file +
                                      "' holds characters the ODBC driver cannot read (; # tabs, doubled or "
                                      "outer spaces); copy the file to a plainer path");
    }
  }
  const std::lock_guard lock(settings_mutex);
  current_settings = settings;
  config_file.sections.clear();
  if (FreetdsCaFile(settings).empty()) {
    if (!config_file.path.empty()) {
      // Back to the configuration the process started with.
      if (config_file.user_variable) {
        setenv("FREETDSCONF", config_file.user_variable->c_str(), 1);
      } else {
        unsetenv("FREETDSCONF");
      }
    }
    return;
  }
  if (config_file.path.empty()) {
    if (const char* named = std::getenv("FREETDSCONF")) config_file.user_variable = named;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavinor-freetds-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw Error(kErrInvalidUse, "cannot write the ODBC driver's configuration in " + pattern);
    close(fd);
    config_file.path = pattern;
  }
  // A configuration the user named is kept, ahead of ours, so that its [global] settings still apply.
  config_file.user_config.clear();
  if (config_file.user_variable) {
    config_file.user_config = ReadWhole(*config_file.user_variable);
    if (!config_file.user_config.empty() && config_file.user_config.back() != '\n')
      config_file.user_config += '\n';
  }
  config_file.Write();
  // Set here, before any connection runs, never while the driver may be reading the environment.
  setenv("FREETDSCONF", config_file.path.c_str(), 1);
}

std::string FreetdsServerName(const Endpoint& endpoint) {
  const std::lock_guard lock(settings_mutex);
  const std::string ca_file = FreetdsCaFile(current_settings);
  if (ca_file.empty() || config_file.path.empty()) return "";
  const std::string key = endpoint.host + "," + endpoint.port;
  for (std::size_t i = 0; i < config_file.sections.size(); ++i) {
    if (config_file.sections[i].first == key) return SectionName(i);
  }
  const std::string name = SectionName(config_file.sections.size());
  config_file.sections.emplace_back(key, FreetdsServerSection(name, endpoint, ca_file));
  config_file.Write();
  return name;
}

const EncryptionSettings& CurrentEncryption() {
  const std::lock_guard lock(settings_mutex);
  return current_settings;
}

std::optional<std::uint8_t> ProbeServerEncryption(const Endpoint& endpoint, std::uint8_t client_encryption,
                                                  int timeout_seconds) {
  // A named instance's port is the driver's to find.
  if (endpoint.port.empty() && endpoint.host.find('\\') != std::string::npos) return std::nullopt;
  const std::string port = endpoint.port.empty() ? "1433" : endpoint.port;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &found) != 0) return std::nullopt;
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    timeval limit{timeout_seconds > 0 ? timeout_seconds : 15, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) return std::nullopt;

  // PRELOGIN with VERSION and ENCRYPTION only: the options start after two entries and the terminator.
  const std::uint8_t request[] = {0x12, 0x01, 0x00, 8 + 18, 0, 0, 1, 0,  // header
                                  0x00, 0,    11,   0,      6,           // VERSION at 11, 6 bytes
                                  0x01, 0,    17,   0,      1,           // ENCRYPTION at 17, 1 byte
                                  0xFF, 0,    0,    0,      0, 0, 0, client_encryption};
  std::optional<std::uint8_t> answer;
  std::uint8_t header[8];
  auto read_exact = [fd](std::uint8_t* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = recv(fd, buf + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  };
  if (send(fd, request, sizeof request, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request) &&
      read_exact(header, 8) && header[0] == 0x04) {
    const std::size_t length = (header[2] << 8) | header[3];
    std::string payload(length > 8 ? length - 8 : 0, '\0');
    if (read_exact(reinterpret_cast<std::uint8_t*>(payload.data()), payload.size())) {
      for (std::size_t i = 0; i + 5 <= payload.size() && static_cast<std::uint8_t>(payload[i]) != 0xFF;
           i += 5) {
        const std::size_t offset =
            (static_cast<std::uint8_t>(payload[i + 1]) << 8) | static_cast<std::uint8_t>(payload[i + 2]);
        const std::size_t size =
            (static_cast<std::uint8_t>(payload[i + 3]) << 8) | static_cast<std::uint8_t>(payload[i + 4]);
        if (payload[i] == 1 && size >= 1 && offset < payload.size())
          answer = static_cast<std::uint8_t>(payload[offset]);
      }
    }
  }
  close(fd);
  return answer;
}

}  // namespace platform
