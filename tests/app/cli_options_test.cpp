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
}

TEST(CliOptions, RefusesBadUsageWithAReason) {
  struct Case {
    std::vector<std::string> args;
    std::string reason_part;
  } cases[] = {
      {{"--server"}, "needs a value"},
      {{"--frobnicate"}, "unknown argument '--frobnicate'"},
      {{"--password", "x"}, "never taken on the command line"},
      {{"--password=x"}, "never taken on the command line"},
      {{"-P", "x"}, "never taken on the command line"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, &error)) << c.args[0];
    EXPECT_NE(error.find(c.reason_part), std::string::npos) << error;
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

}  // namespace
