// Encrypted connections from the command line: each --encrypt level and certificate option against a server
// that cannot encrypt, one that offers encryption and one that requires it, with what the server saw of each
// login.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "convert_process.h"
#include "standin_process.h"

namespace {

namespace fs = std::filesystem;

enum class Server { kNoCertificate, kOffers, kRequires, kOffersOtherHost };

struct Case {
  std::string label;
  std::vector<std::string> options;  // "CA" and "OTHER_CA" stand for the test CAs' files
  int exit_code;                     // the dry run of the demo ends with 1; a failed connection with 2
  std::string encryption;            // what the server logged for each login: "", "login" or "full"
  std::string advice;                // a text the failure must hold
};

struct ServerCases {
  Server server;
  std::vector<Case> cases;
};

class Encryption : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    certificates_ = fs::temp_directory_path() / ("tavinor-tls-" + std::to_string(getpid()));
    const std::string command =
        std::string(SOURCE_DIR) + "/tests/support/make_test_certificates.sh " + certificates_.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << "openssl could not make the test certificates";
  }
  static void TearDownTestSuite() { fs::remove_all(certificates_); }

  static std::string File(const std::string& name) { return (certificates_ / name).string(); }

  static std::vector<std::string> StandinArguments(Server server) {
    switch (server) {
      case Server::kNoCertificate:
        return {};
      case Server::kOffers:
        return {"--tls-cert", File("server.pem"), "--tls-key", File("server.key")};
      case Server::kRequires:
        return {"--tls-cert", File("server.pem"), "--tls-key", File("server.key"), "--require-encryption"};
      case Server::kOffersOtherHost:
        return {"--tls-cert", File("otherhost.pem"), "--tls-key", File("otherhost.key")};
    }
    return {};
  }

  static inline fs::path certificates_;
};

const std::string kRequiredAdvice =
    "The server accepts encrypted connections only: run with --encrypt request";
const std::string kNotSupportedAdvice = "The server does not support encryption";
const std::string kCertificateAdvice = "The server's certificate failed validation against ";

TEST_F(Encryption, EachLevelAgainstEachServer) {
  const ServerCases table[] = {
      {Server::kNoCertificate,
       {
           {"default", {}, 1, "", ""},
           {"off", {"--encrypt", "off"}, 1, "", ""},
           {"request goes on unencrypted", {"--encrypt", "request"}, 1, "", ""},
           {"require refuses", {"--encrypt", "require", "--ca-file", "CA"}, 2, "", kNotSupportedAdvice},
       }},
      {Server::kOffers,
       {
           // Without options the driver encrypts the login only and validates nothing, as before.
           {"default", {}, 1, "login", ""},
           {"off", {"--encrypt", "off"}, 1, "", ""},
           {"request", {"--encrypt", "request", "--ca-file", "CA"}, 1, "login", ""},
           {"require", {"--encrypt", "require", "--ca-file", "CA"}, 1, "full", ""},
           {"system CAs do not know the test CA",
            {"--encrypt", "require"},
            2,
            "",
            kCertificateAdvice + "the system's CA certificates"},
           {"wrong CA",
            {"--encrypt", "require", "--ca-file", "OTHER_CA"},
            2,
            "",
            kCertificateAdvice + "the CAs in"},
           {"wrong CA, login only",
            {"--encrypt", "request", "--ca-file", "OTHER_CA"},
            2,
            "",
            kCertificateAdvice},
           {"trusted without validation",
            {"--encrypt", "require", "--trust-server-certificate"},
            1,
            "full",
            ""},
       }},
      {Server::kRequires,
       {
           {"off refused", {"--encrypt", "off"}, 2, "", kRequiredAdvice},
           {"default gets everything encrypted", {}, 1, "full", ""},
           {"request gets everything encrypted", {"--encrypt", "request", "--ca-file", "CA"}, 1, "full", ""},
           {"require", {"--encrypt", "require", "--ca-file", "CA"}, 1, "full", ""},
       }},
      {Server::kOffersOtherHost,
       {
           {"certificate for another host",
            {"--encrypt", "require", "--ca-file", "CA"},
            2,
            "",
            kCertificateAdvice},
           {"trusted", {"--encrypt", "require", "--trust-server-certificate"}, 1, "full", ""},
       }},
  };
  const std::string demo = std::string(SOURCE_DIR) + "/standin/scenarios/demo.json";
  for (const auto& group : table) {
    testsupport::StandinProcess standin(STANDIN_EXECUTABLE, demo, StandinArguments(group.server));
    for (const auto& c : group.cases) {
      SCOPED_TRACE("server " + std::to_string(static_cast<int>(group.server)) + ": " + c.label);
      standin.Control("LOG CLEAR");
      std::vector<std::string> args = {"--server", standin.Server(),   "--login",
                                       "sa",       "--password-stdin", "--dry-run"};
      for (const auto& option : c.options)
        args.push_back(option == "CA"         ? File("ca.pem")
                       : option == "OTHER_CA" ? File("other-ca.pem")
                                              : option);
      const auto run = e2e::RunConvert(args, "Tavinor#2024\n");
      EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
      if (!c.advice.empty()) {
        EXPECT_NE(run.err.find(c.advice), std::string::npos) << run.err;
      }

      std::set<std::string> seen;
      int logins = 0;
      for (const auto& entry : standin.ControlJson("LOG")) {
        if (entry["kind"] == "encryption") seen.insert(entry["text"].get<std::string>());
        if (entry["kind"] == "batch") ++logins;
      }
      if (c.exit_code == 1) {
        ASSERT_GT(logins, 0);
        EXPECT_EQ(seen, c.encryption.empty() ? std::set<std::string>{} : std::set<std::string>{c.encryption});
      }
    }
  }
}

TEST_F(Encryption, OptionsThatCannotWorkAreBadUsage) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--encrypt", "always"}, "--encrypt"},
      {{"--ca-file", "/nonexistent/ca.pem"}, "cannot be read"},
      {{"--ca-file", "CA", "--trust-server-certificate"}, "excludes"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--server", "127.0.0.1,1", "--login", "sa"};
    for (const auto& a : c.args) args.push_back(a == "CA" ? File("ca.pem") : a);
    const auto run = e2e::RunConvert(args, "");
    EXPECT_EQ(run.exit_code, 64) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
  }
}

}  // namespace
