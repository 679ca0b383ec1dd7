// The principal company code through its procedure, and fields of saved results,
// over the scripted session.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "scripted_driver.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

using platform::DataType;
using platform::ParameterDirection;
using platform::Variant;

class AccessRightsTest : public ::testing::Test {
 protected:
  void SetUp() override { connection_.Open("Data Source=srv;Initial Catalog=quindorconfig;User ID=sa"); }
  testsupport::ScopedScriptedDriver driver_;
  platform::Connection connection_;
};

TEST_F(AccessRightsTest, CallsTheProcedureWithItsTwoParameters) {
  driver_->on_command = [](const std::string&, std::vector<platform::ParameterBinding>& parameters) {
    parameters[1].value = Variant("0001");
  };
  EXPECT_EQ(SharedEDiv().GetAcessoPrincipal(connection_), "0001");
  EXPECT_EQ(driver_->Statements("quindorconfig"), std::vector<std::string>{"GetAcessoPrincipal"});
  const auto& parameters = driver_->command_parameters.at(0);
  ASSERT_EQ(parameters.size(), 2u);
  EXPECT_EQ(parameters[0].name, "@RETURN_VALUE");
  EXPECT_EQ(parameters[0].type, DataType::kInteger);
  EXPECT_EQ(parameters[0].direction, ParameterDirection::kReturnValue);
  EXPECT_EQ(parameters[1].name, "@Empresa");
  EXPECT_EQ(parameters[1].type, DataType::kVarWChar);
  EXPECT_EQ(parameters[1].direction, ParameterDirection::kOutput);
  EXPECT_EQ(parameters[1].size, 4);
}

// Null is no failure; a longer value keeps its first four characters, whole.
TEST_F(AccessRightsTest, NullGivesEmptyAndLongValuesAreCutByCharacter) {
  const struct {
    Variant output;
    const char* expected;
  } cases[] = {{Variant::Null(), ""},
               {Variant("0001-Lisboa"), "0001"},
               {Variant("çãõé€x"), "çãõé"},
               {Variant("12"), "12"}};
  for (const auto& c : cases) {
    driver_->on_command = [&](const std::string&, std::vector<platform::ParameterBinding>& parameters) {
      parameters[1].value = c.output;
    };
    EXPECT_EQ(SharedEDiv().GetAcessoPrincipal(connection_), c.expected);
  }
}

TEST_F(AccessRightsTest, FailuresReachTheCaller) {
  driver_->FailExecute("*", "GetAcessoPrincipal",
                       platform::Error(2812, "Could not find stored procedure 'GetAcessoPrincipal'."));
  EXPECT_EQ(ErrorNumber([&] { SharedEDiv().GetAcessoPrincipal(connection_); }), 2812);
  connection_.Close();
  EXPECT_EQ(ErrorNumber([&] { SharedEDiv().GetAcessoPrincipal(connection_); }),
            platform::kErrConnectionUnusable);
}

class SavedFieldTest : public AccessRightsTest {
 protected:
  void SetUp() override {
    AccessRightsTest::SetUp();
    path_ = ::testing::TempDir() + "acessos_" + std::to_string(getpid()) + ".json";
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void Save(std::vector<std::vector<Variant>> rows) {
    driver_->OnExecute("*", "select * from Acessos",
                       testsupport::Reply({testsupport::Table({"Empresa", "Nivel"}, std::move(rows))}));
    connection_.Execute("select * from Acessos").Save(path_);
  }
  std::string path_;
};

TEST_F(SavedFieldTest, ReadsTheFirstRowByNameInAnyCase) {
  Save({{Variant("0001"), Variant(std::int16_t{3})}, {Variant("0002"), Variant(std::int16_t{5})}});
  EXPECT_EQ(SharedEDiv().GetFileFieldValue(path_, "empresa"), Variant("0001"));
  EXPECT_EQ(SharedEDiv().GetFileFieldValue(path_, "NIVEL"), Variant(std::int16_t{3}));
  EXPECT_TRUE(SharedEDiv().GetFileFieldValue(path_, "Utilizador").IsEmpty());
  Save({});
  EXPECT_TRUE(SharedEDiv().GetFileFieldValue(path_, "Empresa").IsEmpty());
  Save({{Variant::Null(), Variant::Null()}});
  EXPECT_TRUE(SharedEDiv().GetFileFieldValue(path_, "Empresa").IsNull());
}

// A number out of range for its kind is refused, never cut down to fit.
TEST_F(SavedFieldTest, MissingMalformedOrOutOfRangeFilesRaise) {
  EXPECT_EQ(ErrorNumber([&] { SharedEDiv().GetFileFieldValue(path_, "Empresa"); }), platform::kErrInvalidUse);
  for (const std::string cell : {"[2,70000]", "[3,\"x\"]", "[17,-1]"}) {
    SCOPED_TRACE(cell);
    std::ofstream(path_)
        << "{\"format\":\"tavinor-recordset\",\"version\":1,\"columns\":[{\"name\":\"Nivel\","
           "\"type\":2}],\"rows\":[["
        << cell << "]]}";
    EXPECT_EQ(ErrorNumber([&] { SharedEDiv().GetFileFieldValue(path_, "Nivel"); }), platform::kErrInvalidUse);
  }
  std::ofstream(path_) << "{\"format\":\"tavinor-recordset\",\"columns\":";
  EXPECT_EQ(ErrorNumber([&] { SharedEDiv().GetFileFieldValue(path_, "Nivel"); }), platform::kErrInvalidUse);
}

}  // namespace
