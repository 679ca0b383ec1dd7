#include "app/cli_options.h"

#include <gtest/gtest.h>

namespace {

std::optional<app::CliOptions> Parse(std::vector<std::string> args, std::string* error_out = nullptr) {
  std::string error;
  auto options = app::ParseCliOptions(args, error);
  if (error_out) *error_out = error;
  return options;
}

TEST(CliOptions, AcceptsLongShortAndEqualsForms) {
  auto options = Parse({"--server", "db01\\PROD", "-U", "sa", "--password-stdin"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->server, "db01\\PROD");
  EXPECT_EQ(options->login, "sa");
  EXPECT_TRUE(options->password_from_stdin);

  options = Parse({"--server=127.0.0.1,1433", "--login=operador"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->server, "127.0.0.1,1433");
  EXPECT_EQ(options->login, "operador");
  EXPECT_FALSE(options->report_path);
  EXPECT_FALSE(options->quiet);

  // A value that looks like the refused -P option is still a value.
  options = Parse({"--login", "-Pedro"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->login, "-Pedro");

  // --server as often as there are servers; the first is the one server.
  options = Parse({"-S", "db01", "--server", "db02", "--servers-file", "estate.txt", "-j", "8"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->servers, (std::vector<std::string>{"db01", "db02"}));
  EXPECT_EQ(options->server, "db01");
  EXPECT_EQ(options->servers_file, "estate.txt");
  EXPECT_EQ(options->jobs, 8);
  EXPECT_EQ(Parse({})->jobs, 1);
  // Decimal, as an operator writes it: never octal or hexadecimal.
  EXPECT_EQ(Parse({"--jobs", "08"})->jobs, 8);
  EXPECT_EQ(Parse({"--jobs=010"})->jobs, 10);

  options = Parse({"--report", "-", "-q"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->report_path, "-");
  EXPECT_TRUE(options->quiet);
}

TEST(CliOptions, RefusesBadUsageWithAReason) {
  struct Case {
    std::vector<std::string> args;
    std::string reason_part;
  } cases[] = {
      {{"--server"}, "--server: 1 required"},
      {{"--frobnicate"}, "not expected: --frobnicate"},
      {{"--login", "sa", "-p", "segredo"}, "not expected: -p and 1 more word ("},
      {{"--pass=segredo", "segredo", "de novo"}, "not expected: --pass and 2 more words ("},
      {{"segredo"}, "not expected: 1 word ("},
      {{"--report"}, "--report: 1 required"},
      {{"--report="}, "--report"},
      {{"--password", "x"}, "never taken on the command line"},
      {{"--password=x"}, "never taken on the command line"},
      {{"-P", "x"}, "never taken on the command line"},
      {{"--jobs", "0"}, "--jobs takes a number from 1 to 64"},
      {{"-j", "65"}, "--jobs takes a number from 1 to 64"},
      {{"--jobs", "many"}, "--jobs"},
      {{"--jobs", "0x10"}, "--jobs takes a number from 1 to 64"},
      {{"--jobs", "4abc"}, "--jobs takes a number from 1 to 64"},
      {{"--jobs", "-1"}, "--jobs takes a number from 1 to 64"},
      {{"--servers-file="}, "--servers-file"},
      {{"--report", "--quiet"}, "--report needs a file name before the next option, --quiet"},
      {{"--servers-file", "--jobs", "4"}, "--servers-file needs a file name before the next option"},
      {{"--ca-file", ""}, "--ca-file needs a file name"},
      {{"--ca-file", "ca.pem", "--encrypt", "off"}, "--encrypt off"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, &error)) << c.args[0];
    EXPECT_NE(error.find(c.reason_part), std::string::npos) << error;
    EXPECT_EQ(error.find("segredo"), std::string::npos) << "a password is never repeated: " << error;
  }
}

TEST(CliOptions, PasswordComesFromStdinThenEnvironmentThenPrompt) {
  int prompts = 0;
  app::PasswordSources sources{
      [] { return std::optional<std::string>("from-stdin"); },
      [](const char* name) -> std::optional<std::string> {
        EXPECT_STREQ(name, "TAVINOR_PASSWORD");
        return "from-env";
      },
      [&] {
        ++prompts;
        return std::optional<std::string>("typed");
      },
  };
  app::CliOptions options;
  options.password_from_stdin = true;
  EXPECT_EQ(app::ResolvePassword(options, sources), "from-stdin");
  options.password_from_stdin = false;
  EXPECT_EQ(app::ResolvePassword(options, sources), "from-env");
  sources.get_env = [](const char*) { return std::optional<std::string>(); };
  EXPECT_EQ(app::ResolvePassword(options, sources), "typed");
  sources.prompt_without_echo = [] { return std::optional<std::string>(); };
  EXPECT_EQ(app::ResolvePassword(options, sources), "") << "no terminal: an empty password";
  EXPECT_EQ(prompts, 1);
}

TEST(CliOptions, ProgressLineEstimatesFromThePaceSoFar) {
  EXPECT_EQ(app::ProgressLine(1, 10, "Parvimar01", 0.2), "[1/10] Parvimar01  elapsed 0:00  left ?");
  EXPECT_EQ(app::ProgressLine(3, 10, "Parvimar03", 4.0), "[3/10] Parvimar03  elapsed 0:04  left 0:16");
  EXPECT_EQ(app::ProgressLine(101, 1000, "P", 125.0), "[101/1000] P  elapsed 2:05  left 18:45");
  EXPECT_EQ(app::ProgressLine(5, 0, "P", 1.0), "[5/0] P  elapsed 0:01  left ?") << "a list not read";
}

}  // namespace
