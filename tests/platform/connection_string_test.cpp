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

namespace {

TEST(OdbcConnectionString, NamesTheEncryptionLevelOnlyWhenOneWasChosen) {
  // FreeTDS 1.3 reads "Encryption"; without a level the string stays as it always was.
  const struct {
    platform::EncryptMode mode;
    std::string tail;
  } cases[] = {
      {platform::EncryptMode::kDriverDefault, "ClientCharset=UTF-8"},
      {platform::EncryptMode::kOff, "ClientCharset=UTF-8;Encryption=off"},
      {platform::EncryptMode::kRequest, "ClientCharset=UTF-8;Encryption=request"},
      {platform::EncryptMode::kRequire, "ClientCharset=UTF-8;Encryption=require"},
  };
  ConnectRequest request;
  request.server = "srv01,1533";
  request.login = "sa";
  for (const auto& c : cases) {
    const std::string text = OdbcConnectionString(request, "FreeTDS", BraceStyle::kDoubled, "", c.mode);
    EXPECT_EQ(text.substr(text.size() - c.tail.size()), c.tail) << text;
  }
}

TEST(FreetdsEncryptionSettings, ValidateUnlessTrustIsAskedFor) {
  // Without a CA file FreeTDS accepts any certificate, so asking for encryption means the system's CAs.
  using platform::EncryptMode;
  const struct {
    EncryptMode mode;
    std::string ca_file;
    bool trust;
    std::string expected_ca;
  } cases[] = {
      {EncryptMode::kDriverDefault, "", false, ""},
      {EncryptMode::kOff, "", false, ""},
      {EncryptMode::kRequest, "", false, "system"},
      {EncryptMode::kRequire, "", false, "system"},
      {EncryptMode::kRequire, "/etc/ca.pem", false, "/etc/ca.pem"},
      {EncryptMode::kDriverDefault, "/etc/ca.pem", false, "/etc/ca.pem"},
      {EncryptMode::kRequire, "", true, ""},
  };
  for (const auto& c : cases) {
    platform::EncryptionSettings settings;
    settings.mode = c.mode;
    settings.ca_file = c.ca_file;
    settings.trust_server_certificate = c.trust;
    SCOPED_TRACE(static_cast<int>(c.mode));
    EXPECT_EQ(platform::FreetdsCaFile(settings), c.expected_ca);
  }
}

TEST(FreetdsEncryptionSettings, EachServerGetsASectionThatValidatesItsCertificate) {
  const struct {
    std::string server, section;
  } cases[] = {
      {"sql01,1533", "[s]\n\thost = sql01\n\tport = 1533\n"},
      {"sql01\\GESTAO", "[s]\n\thost = sql01\n\tinstance = GESTAO\n"},
      {"sql01", "[s]\n\thost = sql01\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::FreetdsServerSection("s", platform::ResolveEndpoint(c.server), "/etc/ca.pem"),
              c.section + "\tca file = /etc/ca.pem\n\tcheck certificate hostname = yes\n");
  }
  ConnectRequest request;
  request.server = "sql01,1533";
  request.login = "sa";
  EXPECT_EQ(OdbcConnectionString(request, "FreeTDS", BraceStyle::kDoubled, "",
                                 platform::EncryptMode::kRequire, "tavinor-server-1"),
            "DRIVER={FreeTDS};SERVERNAME=tavinor-server-1;UID=sa;PWD=;TDS_Version=7.4;ClientCharset=UTF-8;"
            "Encryption=require");
}

}  // namespace
