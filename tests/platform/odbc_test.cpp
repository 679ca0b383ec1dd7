// The ODBC driver against the real unixODBC and FreeTDS stack, without a server:
// failures to connect, and the type table and text helpers the driver uses.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "error_number.h"
#include "odbc/odbc_text.h"
#include "odbc/odbc_types.h"
#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"

namespace {

using platform::Connection;
using platform::Error;

// A TCP port on 127.0.0.1 that is bound but never listens, so that connecting to
// it is refused at once; held for the test's lifetime so nobody else takes it.
class ClosedPort {
 public:
  // With `listening`, the kernel accepts connections but nothing ever answers them.
  explicit ClosedPort(bool listening = false) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      socklen_t length = sizeof address;
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
      port_ = ntohs(address.sin_port);
      if (listening) listen(fd_, 4);
    }
  }
  ~ClosedPort() {
    if (fd_ >= 0) close(fd_);
  }
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  [[nodiscard]] int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Runs the test with the ODBC driver installed, whatever another test left.
class OdbcDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDriver(nullptr);
    unsetenv(platform::kOdbcDriverVariable);
  }
  void TearDown() override { unsetenv(platform::kOdbcDriverVariable); }

  static Error OpenFails(const std::string& connection_string) {
    Connection connection;
    connection.SetConnectionTimeout(2);
    connection.SetConnectionString(connection_string);
    const std::optional<Error> error = testsupport::Raised([&] { connection.Open({}, {}, "secret"); });
    EXPECT_EQ(connection.State(), platform::kStateClosed);
    return error.value();
  }
};

TEST_F(OdbcDriverTest, RefusedConnectionGivesTheDriversNumberAndText) {
  ClosedPort port;
  ASSERT_NE(port.Port(), 0);
  const Error error = OpenFails(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
      "Data Source=127.0.0.1," +
      std::to_string(port.Port()));
  // FreeTDS's own number for "Unable to connect: Adaptive Server is unavailable or
  // does not exist".
  EXPECT_EQ(error.Number(), 20009) << error.Description();
  EXPECT_EQ(error.SqlState(), "08S01");
  EXPECT_NE(error.Description().find(" (server 127.0.0.1, port " + std::to_string(port.Port()) + ")"),
            std::string::npos)
      << error.Description();
  EXPECT_EQ(error.Description().find("[FreeTDS]"), std::string::npos) << error.Description();
  EXPECT_NE(error.Description().front(), '[') << error.Description();
}

}  // namespace

TEST_F(OdbcDriverTest, SilentServerGivesUpAfterTheConnectionTimeout) {
  ClosedPort port(/*listening=*/true);
  ASSERT_NE(port.Port(), 0);
  const Error error = OpenFails(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
      "Data Source=127.0.0.1," +
      std::to_string(port.Port()));
  // The driver gives no number of its own for an expired login time-out.
  EXPECT_EQ(error.Number(), platform::kErrDriverTimeout) << error.Description();
  EXPECT_EQ(error.SqlState(), "HYT00");
  EXPECT_EQ(error.Description(),
            "Timeout expired (server 127.0.0.1, port " + std::to_string(port.Port()) + ")");
}

TEST_F(OdbcDriverTest, UnknownHostSaysSoAndNamesWhatWasTried) {
  // The driver's first record is a bare "Unable to connect to data source"
  // without a number; the reason follows it.
  const Error error = OpenFails(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
      "Data Source=nosuchhost.invalid");
  EXPECT_EQ(error.Number(), 20013) << error.Description();
  EXPECT_EQ(error.Description(), "Unknown host machine name. (server nosuchhost.invalid, port 1433)");
  EXPECT_EQ(error.SqlState(), "08001");
}

TEST_F(OdbcDriverTest, DriverNamedByTheEnvironmentIsTheOneLoaded) {
  setenv(platform::kOdbcDriverVariable, "Tavinor Missing Driver", 1);
  const Error error = OpenFails(
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;"
      "Data Source=127.0.0.1,1");
  // unixODBC: "Can't open lib 'Tavinor Missing Driver' : file not found".
  EXPECT_EQ(error.Number(), platform::kErrUnspecified);
  EXPECT_NE(error.Description().find("'Tavinor Missing Driver'"), std::string::npos) << error.Description();
  EXPECT_EQ(error.Description().find("[unixODBC]"), std::string::npos) << error.Description();
}

namespace {

TEST(OdbcText, DiagnosticPrefixesAreStripped) {
  struct Case {
    const char* raw;
    const char* stripped;
  };
  const Case cases[] = {
      {"[FreeTDS][SQL Server]Login failed for user 'sa'.", "Login failed for user 'sa'."},
      {"[unixODBC][FreeTDS][SQL Server]Unable to connect to data source", "Unable to connect to data source"},
      {"[unixODBC][Driver Manager]Data source name not found", "Data source name not found"},
      {"[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 'x'.",
       "Invalid object name 'x'."},
      {"[dbo].[MovCliente] is not a table", "[dbo].[MovCliente] is not a table"},
      {"Timeout expired", "Timeout expired"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::StripDiagnosticPrefixes(c.raw), c.stripped);
}

TEST(OdbcText, DriverNumbersFallBackBySqlState) {
  EXPECT_EQ(platform::DriverErrorNumber(20009, "08S01"), 20009);
  EXPECT_EQ(platform::DriverErrorNumber(0, "HYT00"), platform::kErrDriverTimeout);
  EXPECT_EQ(platform::DriverErrorNumber(0, "08001"), platform::kErrUnspecified);
}

TEST(OdbcText, DecimalAndMoneyTextsAsTheDriverWritesThem) {
  using platform::odbc::CurrencyFromDecimal;
  using platform::odbc::DecimalFromText;
  EXPECT_EQ(DecimalFromText("-123.4500"), (platform::Decimal{-1234500, 4}));
  EXPECT_EQ(DecimalFromText(".5"), (platform::Decimal{5, 1}));
  EXPECT_EQ(DecimalFromText("922337203685477.5807"), (platform::Decimal{9223372036854775807, 4}));
  EXPECT_EQ(CurrencyFromDecimal({-15, 1}).Ticks(), -15000);
  EXPECT_EQ(CurrencyFromDecimal({123456, 5}).Ticks(), 12345);
}

// Every fixed-size kind reads back from its buffer as the value it was written from,
// as a parameter goes out and an output or a column comes back.
TEST(OdbcTypes, FixedKindsRoundTripThroughTheirBuffers) {
  using platform::DataType;
  using platform::Variant;
  const Variant when = Variant(platform::Date::FromParts({2024, 3, 1, 10, 15, 30, 997}));
  const struct {
    DataType type;
    Variant value;
  } cases[] = {
      {DataType::kBoolean, Variant(true)},
      {DataType::kUnsignedTinyInt, Variant(std::uint8_t{255})},
      {DataType::kSmallInt, Variant(std::int16_t{-32768})},
      {DataType::kInteger, Variant(std::int32_t{-2147483647})},
      {DataType::kBigInt, Variant(platform::Decimal{9007199254740993, 0})},
      {DataType::kSingle, Variant(0.5f)},
      {DataType::kDouble, Variant(2.25)},
      {DataType::kDBTimeStamp, when},
      {DataType::kDate, when},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    const platform::odbc::OdbcType& odbc = platform::odbc::TypeOf(c.type);
    ASSERT_EQ(odbc.transfer, platform::odbc::Transfer::kFixed);
    std::vector<unsigned char> buffer(odbc.fixed_size);
    odbc.encode(c.value, buffer.data());
    const Variant back = odbc.decode(buffer.data());
    EXPECT_EQ(back.Type(), c.value.Type());
    EXPECT_EQ(back.ToString(), c.value.ToString());
  }
}

TEST(OdbcTypes, ColumnsReadAsTheirKind) {
  using platform::DataType;
  using platform::odbc::ColumnTypeOf;
  const struct {
    SQLSMALLINT sql_type;
    const char* type_name;
    DataType type;
  } cases[] = {
      {SQL_DECIMAL, "money", DataType::kCurrency},
      {SQL_DECIMAL, "smallmoney", DataType::kCurrency},
      {SQL_NUMERIC, "decimal", DataType::kNumeric},
      {SQL_FLOAT, "float", DataType::kDouble},
      {SQL_TYPE_TIMESTAMP, "datetime", DataType::kDBTimeStamp},
      {SQL_TYPE_DATE, "date", DataType::kDBTimeStamp},
      {SQL_CHAR, "char", DataType::kChar},
      {SQL_GUID, "uniqueidentifier", DataType::kGuid},
      {SQL_LONGVARBINARY, "image", DataType::kLongVarBinary},
      {SQL_TYPE_TIME, "time", DataType::kVarWChar},
      {-150, "sql_variant", DataType::kVarWChar},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ColumnTypeOf(c.sql_type, [&] { return std::string(c.type_name); }), c.type) << c.type_name;
  }
}

}  // namespace
