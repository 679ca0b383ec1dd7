// OLE DB connection strings (parsing and quoting) and their translation into the
// ODBC driver's connection string.
#include <gtest/gtest.h>

#include <string>

#include "error_number.h"
#include "platform/driver.h"
#include "platform/error.h"

namespace {

using platform::BraceStyle;
using platform::ConnectRequest;
using platform::Error;
using platform::OdbcConnectionString;
using platform::ParseConnectionString;
using platform::QuoteConnectionValue;

std::string LoginForm(const std::string& login, const std::string& database, const std::string& server) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + QuoteConnectionValue(login) +
         ";Initial Catalog=" + QuoteConnectionValue(database) +
         ";Data Source=" + QuoteConnectionValue(server);
}

std::string IntegratedForm(const std::string& database, const std::string& server) {
  return "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=" +
         QuoteConnectionValue(database) + ";Data Source=" + QuoteConnectionValue(server);
}

TEST(ConnectionString, ReadsTheLoginForm) {
  const ConnectRequest request = ParseConnectionString(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
      "Data Source=SRV01\\SQL2019");
  EXPECT_EQ(request.login, "sa");
  EXPECT_EQ(request.database, "master");
  EXPECT_EQ(request.server, "SRV01\\SQL2019");
  EXPECT_FALSE(request.integrated_security);
  EXPECT_EQ(request.password, "");
}

TEST(ConnectionString, ReadsTheIntegratedForm) {
  const ConnectRequest request = ParseConnectionString(
      "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=Parvimar01;"
      "Data Source=srv,1533");
  EXPECT_TRUE(request.integrated_security);
  EXPECT_EQ(request.login, "");
  EXPECT_EQ(request.database, "Parvimar01");
  EXPECT_EQ(request.server, "srv,1533");
}

TEST(ConnectionString, PlainValuesAreWrittenWordForWord) {
  EXPECT_EQ(
      LoginForm("sa", "master", "srv"),
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data Source=srv");
  EXPECT_EQ(IntegratedForm("master", ""),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=master;"
            "Data Source=");
  for (const std::string plain : {"srv\\inst", "srv,1433", "Gestão Comercial", "a=b", ""}) {
    EXPECT_EQ(QuoteConnectionValue(plain), plain);
  }
}

TEST(ConnectionString, QuotedValuesReadBackExactly) {
  struct Case {
    std::string value;
    std::string quoted;
  };
  const Case cases[] = {
      {"a;b", "\"a;b\""},
      {"say \"hi\"", "'say \"hi\"'"},
      {"O'Neil", "\"O'Neil\""},
      {"O'Neil \"x\";", "\"O'Neil \"\"x\"\";\""},
      {" lead", "\" lead\""},
      {"trail ", "\"trail \""},
      {"Data Source=evil;", "\"Data Source=evil;\""},
      // Bare, "Data Source==x" would read "==" as an "=" inside the key.
      {"=x", "\"=x\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(QuoteConnectionValue(c.value), c.quoted);
    const ConnectRequest login = ParseConnectionString(LoginForm(c.value, c.value + "db", c.value + "srv"));
    EXPECT_EQ(login.login, c.value);
    EXPECT_EQ(login.database, c.value + "db");
    EXPECT_EQ(login.server, c.value + "srv");
    const ConnectRequest integrated = ParseConnectionString(IntegratedForm(c.value, c.value));
    EXPECT_EQ(integrated.database, c.value);
    EXPECT_EQ(integrated.server, c.value);
    EXPECT_TRUE(integrated.integrated_security);
  }
}

TEST(ConnectionString, KeysIgnoreCaseAndSpacesAndTheLastOneWins) {
  const ConnectRequest request = ParseConnectionString(
      " data source = one ; DATA SOURCE=two;UID=u;Password='p;w';Trusted_Connection=no;Unknown Key=1;;");
  EXPECT_EQ(request.server, "two");
  EXPECT_EQ(request.login, "u");
  EXPECT_EQ(request.password, "p;w");
  EXPECT_FALSE(request.integrated_security);
}

TEST(ConnectionString, MalformedTextIsRejected) {
  for (const std::string text :
       {"Data Source=\"srv", "Data Source='srv' x;User ID=sa", "Data Source=srv;sa;", "Data Source"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(testsupport::ErrorNumber([&] { ParseConnectionString(text); }), platform::kErrInvalidUse);
  }
}

TEST(OdbcConnectionString, TranslatesServerForms) {
  struct Case {
    std::string server;
    std::string expected_server_part;
  };
  const Case cases[] = {
      {"srv01", "SERVER=srv01"},
      {"srv01,1533", "SERVER=srv01;PORT=1533"},
      {"tcp:srv01,1533", "SERVER=srv01;PORT=1533"},
      {"srv01\\SQLEXPRESS", "SERVER=srv01\\SQLEXPRESS"},
      {"srv01\\SQLEXPRESS,1533", "SERVER=srv01;PORT=1533"},
      {"", "SERVER=localhost;PORT=1433"},
      {"(local)", "SERVER=localhost;PORT=1433"},
      {".", "SERVER=localhost;PORT=1433"},
      {".\\SQLEXPRESS", "SERVER=localhost\\SQLEXPRESS"},
      {"srv01,notaport", "SERVER=srv01,notaport"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server);
    ConnectRequest request;
    request.server = c.server;
    request.database = "master";
    request.login = "sa";
    request.password = "pw";
    EXPECT_EQ(OdbcConnectionString(request, "FreeTDS"), "DRIVER={FreeTDS};" + c.expected_server_part +
                                                            ";DATABASE=master;UID=sa;PWD=pw;TDS_Version=7.4;"
                                                            "ClientCharset=UTF-8");
  }
}

TEST(OdbcConnectionString, QuotesEachValueForTheDriversBraceRule) {
  // The same password under ODBC's rule ("}" doubled inside braces) and under the
  // verbatim rule of FreeTDS before 1.4 (bare where it can be, else braced as is).
  struct Case {
    const char* value;
    const char* doubled;
    const char* verbatim;
  };
  const Case cases[] = {
      {"plain", "plain", "plain"},
      {"Pa;ss}wo'rd", "{Pa;ss}}wo'rd}", "{Pa;ss}wo'rd}"},
      {"Parvimar}Z", "{Parvimar}}Z}", "Parvimar}Z"},
      {"{x}", "{{x}}}", "{{x}}"},
      {" {x}", "{ {x}}}", "{ {x}}"},
      {" x ", "{ x }", " x "},
      {"a=b\"c'é", "a=b\"c'é", "a=b\"c'é"},
      {"Gestão; Comercial", "{Gestão; Comercial}", "{Gestão; Comercial}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ConnectRequest request;
    request.server = "srv";
    request.password = c.value;
    const std::string head = "DRIVER={FreeTDS};SERVER=srv;UID=sa;PWD=";
    const std::string tail = ";TDS_Version=7.4;ClientCharset=UTF-8";
    request.login = "sa";
    EXPECT_EQ(OdbcConnectionString(request, "FreeTDS", BraceStyle::kDoubled), head + c.doubled + tail);
    EXPECT_EQ(OdbcConnectionString(request, "FreeTDS", BraceStyle::kVerbatim), head + c.verbatim + tail);
  }
}

TEST(OdbcConnectionString, RefusesWhatTheVerbatimRuleCannotCarry) {
  ConnectRequest request;
  request.server = "srv";
  request.login = "sa";
  // Only a value holding "}" is written differently under the two rules.
  request.password = "Pa;ss}wo'rd";
  EXPECT_TRUE(platform::NeedsBraceStyle(request));
  request.password = "Parvimar}Z";
  EXPECT_TRUE(platform::NeedsBraceStyle(request));
  request.password = "a;b";
  EXPECT_FALSE(platform::NeedsBraceStyle(request));

  // "};" would end the value early under the old rule: refused, naming the field,
  // before anything is sent.
  request.password = "a};b";
  EXPECT_NE(OdbcConnectionString(request, "FreeTDS", BraceStyle::kDoubled).find(";PWD={a}};b};"),
            std::string::npos);
  try {
    OdbcConnectionString(request, "FreeTDS", BraceStyle::kVerbatim);
    ADD_FAILURE() << "not refused";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.Number(), platform::kErrInvalidUse);
    EXPECT_EQ(error.Description().rfind("The password holds \"};\"", 0), 0u) << error.Description();
  }
  // A NUL would end the string the driver reads, dropping the keys after it: refused
  // under either rule.
  request.password.clear();
  request.database = std::string("Parvimar\0X", 10);
  for (const BraceStyle style : {BraceStyle::kDoubled, BraceStyle::kVerbatim}) {
    try {
      OdbcConnectionString(request, "FreeTDS", style);
      ADD_FAILURE() << "not refused";
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.Number(), platform::kErrInvalidUse);
      EXPECT_EQ(error.Description().rfind("The database name holds a NUL", 0), 0u) << error.Description();
    }
  }
}

TEST(OdbcConnectionString, NamesTheLanguageAndUsesTrustedLogin) {
  ConnectRequest request;
  request.server = "srv";
  request.database = "master";
  request.integrated_security = true;
  EXPECT_EQ(OdbcConnectionString(request, "ODBC Driver {18}", BraceStyle::kDoubled, "Português"),
            "DRIVER={ODBC Driver {18}}};SERVER=srv;DATABASE=master;Trusted_Connection=Yes;Language=Português;"
            "TDS_Version=7.4;ClientCharset=UTF-8");
}

}  // namespace
