#include "app/server_list.h"

#include <gtest/gtest.h>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;  // server, password variable

Entries Flatten(const std::vector<app::ServerEntry>& servers) {
  Entries flat;
  for (const auto& entry : servers) flat.emplace_back(entry.server, entry.password_variable);
  return flat;
}

TEST(ServerList, ReadsOneServerALineSkippingBlanksAndComments) {
  std::string error;
  const auto servers = app::ParseServerList(
      "\xEF\xBB\xBF# Lisbon estate, saved with a byte order mark\n"
      "\n"
      "db01\\PROD\r\n"
      "   10.0.0.7,1433   password-env=PORTO_PASSWORD   # own login password\n"
      "\t\n"
      "db03#not-a-comment\n",
      error);
  ASSERT_TRUE(servers) << error;
  EXPECT_EQ(Flatten(*servers),
            (Entries{{"db01\\PROD", ""}, {"10.0.0.7,1433", "PORTO_PASSWORD"}, {"db03#not-a-comment", ""}}));
}

TEST(ServerList, RefusesPasswordsAndUnknownWordsNamingTheLine) {
  const struct {
    std::string text, reason;
  } cases[] = {
      {"db01\ndb02 password=segredo\n", "line 2: a password is never written"},
      {"db01 pwd=segredo", "line 1: a password is never written"},
      {"db01 password-env=", "line 1: password-env= needs the name"},
      {"db01 password-env=1ABC", "line 1: password-env= needs the name"},
      {"db01 password-env=A password-env=B", "line 1: unexpected word 3 ('password-env=...')"},
      {"db01 db02", "line 1: unexpected word 2 after the server name"},
      {"db01 segredo", "line 1: unexpected word 2 after the server name"},
      {"db01 passwd=segredo", "line 1: unexpected word 2 ('passwd=...')"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(app::ParseServerList(c.text, error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(error.find("segredo"), std::string::npos) << "the password is not repeated: " << error;
  }
}

TEST(ServerList, CommandLineServersComeFirstThenTheFile) {
  app::CliOptions options;
  std::string error;
  const auto no_file = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
  EXPECT_EQ(Flatten(*app::ResolveServers(options, no_file, error)), (Entries{{"", ""}}))
      << "nothing named: the local default server";

  options.servers = {"a", "b"};
  options.servers_file = "servers.txt";
  const auto servers = app::ResolveServers(
      options, [](const std::string&) -> std::optional<std::string> { return "c password-env=C\n"; }, error);
  ASSERT_TRUE(servers) << error;
  EXPECT_EQ(Flatten(*servers), (Entries{{"a", ""}, {"b", ""}, {"c", "C"}}));

  EXPECT_FALSE(app::ResolveServers(options, no_file, error));
  EXPECT_NE(error.find("cannot read the servers file 'servers.txt'"), std::string::npos) << error;
  EXPECT_FALSE(app::ResolveServers(
      options, [](const std::string&) -> std::optional<std::string> { return "# none yet\n"; }, error));
  EXPECT_NE(error.find("names no server"), std::string::npos) << error;
}

TEST(ServerList, RefusesAServerNamedLikeAnOptionOrWithAPortNoServerHas) {
  const struct {
    std::vector<std::string> servers;
    std::string file;
    std::string refusal;  // empty: accepted
  } cases[] = {
      {{"sql01,1433", "sql01\\VENDAS,1", "sql01\\VENDAS", "127.0.0.1,65535", "."}, "", ""},
      {{"--jobs"}, "", "'--jobs' is an option, not a server name"},
      {{"sql01,99999"},
       "",
       "server 'sql01,99999': the port after the comma must be a number from 1 to 65535"},
      {{"sql01,0"}, "", "port after the comma"},
      {{"sql01,"}, "", "port after the comma"},
      {{"sql01,14x3"}, "", "port after the comma"},
      {{}, "sql01,70000\n", "server 'sql01,70000'"},
  };
  for (const auto& c : cases) {
    app::CliOptions options;
    options.servers = c.servers;
    if (!c.file.empty()) options.servers_file = "servers.txt";
    std::string error;
    const auto servers = app::ResolveServers(
        options, [&](const std::string&) -> std::optional<std::string> { return c.file; }, error);
    if (c.refusal.empty()) {
      EXPECT_TRUE(servers) << error;
    } else {
      EXPECT_FALSE(servers);
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
  }
}

}  // namespace
