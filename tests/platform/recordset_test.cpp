// Recordset field chunks, Update and saved result files, over the fake driver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "error_number.h"
#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"
#include "session_fake_driver.h"

namespace {

using platform::BatchReply;
using platform::Bytes;
using platform::Connection;
using platform::DataType;
using platform::Error;
using platform::LockType;
using platform::Recordset;
using platform::Variant;
using sessiontest::FakeDriverTest;
using sessiontest::Rows;

using testsupport::ErrorNumber;

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

class RecordsetTest : public FakeDriverTest {
 protected:
  Connection Open() {
    Connection connection;
    connection.Open("Data Source=srv;User ID=sa");
    return connection;
  }
  // A result set of one row of a picture table, opened for update.
  Recordset OpenPicture(Connection& connection, Bytes stored, LockType lock = LockType::kOptimistic) {
    driver_->Script(Rows({"Foto"}, {{Variant(std::move(stored))}}, DataType::kLongVarBinary));
    Recordset result;
    result.Open("select Foto from Artigos where Codigo = 'A1'", connection, platform::CursorType::kDynamic,
                lock);
    return result;
  }
};

TEST_F(RecordsetTest, GetChunkReadsTheValueInBlocks) {
  Connection connection = Open();
  const Bytes stored = Pattern(5000);
  Recordset result = OpenPicture(connection, stored, LockType::kReadOnly);
  platform::Field field = result.Fields("foto");
  ASSERT_EQ(field.ActualSize(), 5000);
  Bytes read = field.GetChunk(5000 % 2048);
  EXPECT_EQ(read.size(), 904u);
  for (int i = 0; i < 5000 / 2048; ++i) {
    const Bytes block = field.GetChunk(2048);
    EXPECT_EQ(block.size(), 2048u);
    read.insert(read.end(), block.begin(), block.end());
  }
  EXPECT_EQ(read, stored);
  EXPECT_TRUE(field.GetChunk(10).empty());
}

TEST_F(RecordsetTest, AppendChunkReplacesThenExtendsAndUpdateWritesTheRow) {
  Connection connection = Open();
  Recordset result = OpenPicture(connection, Pattern(10));
  const Bytes picture = Pattern(5000);
  platform::Field field = result.Fields("Foto");
  field.AppendChunk(Bytes(picture.begin(), picture.begin() + 904));
  field.AppendChunk(Bytes(picture.begin() + 904, picture.end()));
  EXPECT_EQ(field.ActualSize(), 5000);

  driver_->Script(sessiontest::RowCount(1));
  result.Update();

  // The binary column cannot identify the row: the query's own condition does.
  const std::vector<std::string> expected = {"select Foto from Artigos where Codigo = 'A1'", "<begin>",
                                             "UPDATE Artigos SET [Foto] = ? WHERE (Codigo = 'A1')",
                                             "<commit>"};
  EXPECT_EQ(driver_->statements, expected);
  ASSERT_EQ(driver_->commands.size(), 1u);
  ASSERT_EQ(driver_->commands[0].parameters.size(), 1u);
  EXPECT_EQ(*driver_->commands[0].parameters[0].value.ByteArray(), picture);
  EXPECT_EQ(*result.Value("Foto").ByteArray(), picture);

  // After Update the next chunk starts a new value again.
  field.AppendChunk(Bytes{0, 0});
  EXPECT_EQ(field.ActualSize(), 2);
}

TEST_F(RecordsetTest, UpdateMatchesTheOriginalValuesAndNulls) {
  Connection connection = Open();
  BatchReply reply = Rows({"Nome", "Idade", "Notas"}, {{Variant("Ana"), Variant::Null(), Variant("x")}});
  reply.results[0].columns[1].type = DataType::kInteger;
  reply.results[0].columns[2].type = DataType::kLongVarWChar;  // ntext: not comparable
  driver_->Script(reply);
  Recordset result;
  result.Open("select Nome, Idade, Notas from [dbo].[Clientes] order by Nome", connection,
              platform::CursorType::kDynamic, LockType::kOptimistic);
  result.Fields("Nome").SetValue(Variant("Rita"));
  EXPECT_EQ(result.Value("nome").ToString(), "Rita");
  driver_->Script(sessiontest::RowCount(1));
  result.Update();
  EXPECT_EQ(driver_->statements[2],
            "UPDATE [dbo].[Clientes] SET [Nome] = ? WHERE [Nome] = ? AND [Idade] IS NULL");
  ASSERT_EQ(driver_->commands[0].parameters.size(), 2u);
  EXPECT_EQ(driver_->commands[0].parameters[0].value.ToString(), "Rita");
  EXPECT_EQ(driver_->commands[0].parameters[1].value.ToString(), "Ana");
}

// The update and the check of what it changed are one step: a change that does
// not touch exactly one row is rolled back, also when another session changed the
// table since the row was read.
TEST_F(RecordsetTest, UpdateKeepsNothingUnlessExactlyOneRowChanged) {
  struct Case {
    std::int64_t changed;
    int error;
    bool caller_transaction;
    std::vector<std::string> steps;
  };
  const std::string update = "UPDATE Artigos SET [Foto] = ? WHERE (Codigo = 'A1')";
  const Case cases[] = {
      {0, platform::kErrRowNotLocated, false, {"<begin>", update, "<rollback>"}},
      {2, platform::kErrUnspecified, false, {"<begin>", update, "<rollback>"}},
      {-1, platform::kErrRowNotLocated, false, {"<begin>", update, "<rollback>"}},
      {1, 0, false, {"<begin>", update, "<commit>"}},
      // Inside the caller's transaction only this update is undone.
      {2,
       platform::kErrUnspecified,
       true,
       {"SAVE TRANSACTION tavinor_row_update", update, "ROLLBACK TRANSACTION tavinor_row_update"}},
      {1, 0, true, {"SAVE TRANSACTION tavinor_row_update", update}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.changed << (c.caller_transaction ? " in a transaction" : ""));
    Connection connection = Open();
    Recordset result = OpenPicture(connection, Pattern(3));
    if (c.caller_transaction) connection.BeginTrans();
    driver_->statements.clear();
    result.Fields("Foto").AppendChunk(Bytes{1, 2});
    if (c.caller_transaction) driver_->Script({});
    driver_->Script(sessiontest::RowCount(c.changed));
    EXPECT_EQ(ErrorNumber([&] { result.Update(); }), c.error);
    EXPECT_EQ(driver_->statements, c.steps);
  }
}

TEST_F(RecordsetTest, UpdateRefusesReadOnlyAndMultiTableResults) {
  Connection connection = Open();
  Recordset read_only = OpenPicture(connection, Pattern(3), LockType::kReadOnly);
  read_only.Fields("Foto").AppendChunk(Bytes{1});
  EXPECT_EQ(ErrorNumber([&] { read_only.Update(); }), platform::kErrUpdateNotSupported);

  for (const std::string query : {"select a.Foto from Artigos a where a.Codigo = 'A1'",
                                  "select Foto from Artigos inner join Familias on 1 = 1",
                                  "select Foto from Artigos, Familias", "exec sp_who"}) {
    SCOPED_TRACE(query);
    driver_->Script(Rows({"Foto"}, {{Variant(Pattern(3))}}, DataType::kLongVarBinary));
    Recordset result;
    result.Open(query, connection, platform::CursorType::kDynamic, LockType::kOptimistic);
    result.Fields("Foto").AppendChunk(Bytes{1});
    const std::size_t sent = driver_->statements.size();
    EXPECT_EQ(ErrorNumber([&] { result.Update(); }), platform::kErrUpdateNotSupported);
    EXPECT_EQ(driver_->statements.size(), sent);
  }
}

class SavedFileTest : public RecordsetTest {
 protected:
  void SetUp() override {
    RecordsetTest::SetUp();
    path_ = ::testing::TempDir() + "saved_result_" + std::to_string(getpid()) + ".json";
  }
  void TearDown() override {
    std::remove(path_.c_str());
    RecordsetTest::TearDown();
  }
  std::string path_;
};

TEST_F(SavedFileTest, OpenFileReadsBackWhatSaveWrote) {
  Connection connection = Open();
  const std::vector<Variant> values = {
      Variant(std::int16_t{-7}),
      Variant(std::int32_t{2000000000}),
      Variant(std::uint8_t{255}),
      Variant(1.0f / 3.0f),
      Variant(0.1 + 0.2),
      Variant(std::numeric_limits<float>::infinity()),
      Variant(-std::numeric_limits<double>::infinity()),
      Variant(true),
      Variant(platform::Currency::FromTicks(-123456789)),
      Variant(platform::Decimal{static_cast<platform::Int128>(-1234567890123456789), 3}),
      Variant(platform::Date(45000.5)),
      Variant("Não foram detectadas incosistências \"entre\" aspas"),
      Variant(Pattern(300)),
      Variant::Null(),
  };
  std::vector<std::string> names;
  for (std::size_t i = 0; i < values.size(); ++i) names.push_back("C" + std::to_string(i));
  driver_->Script(Rows(names, {values, values}));
  Recordset original = connection.Execute("select * from t");
  original.Save(path_);

  Recordset loaded;
  Connection closed;
  loaded.Open(path_, closed, platform::CursorType::kForwardOnly, LockType::kReadOnly,
              platform::kOptionPersistedFile);
  ASSERT_EQ(loaded.FieldCount(), static_cast<int>(values.size()));
  for (int row = 0; row < 2; ++row) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      SCOPED_TRACE(names[i]);
      EXPECT_EQ(loaded.Fields(static_cast<int>(i)).Name(), names[i]);
      EXPECT_TRUE(loaded.Value("c" + std::to_string(i)) == values[i]);
    }
    loaded.MoveNext();
  }
  EXPECT_TRUE(loaded.Eof());
}

TEST_F(SavedFileTest, AnEmptyResultSavesAndLoadsEmpty) {
  Connection connection = Open();
  driver_->Script(Rows({"Empresa"}, {}));
  connection.Execute("select Empresa from t").Save(path_);
  Recordset loaded;
  loaded.OpenFile(path_);
  EXPECT_TRUE(loaded.Bof() && loaded.Eof());
  EXPECT_EQ(loaded.Fields("EMPRESA").Name(), "Empresa");
}

// A saved file of one column and one row holding `cell`.
std::string Cell(const std::string& cell) {
  return "{\"format\":\"tavinor-recordset\",\"version\":1,\"columns\":[{\"name\":\"a\",\"type\":3}],"
         "\"rows\":[[" +
         cell + "]]}";
}

TEST_F(SavedFileTest, MissingOrForeignFilesAreRejected) {
  Recordset loaded;
  EXPECT_EQ(ErrorNumber([&] { loaded.OpenFile(path_); }), platform::kErrInvalidUse);
  for (const std::string& text : std::vector<std::string>{
           "<xml/>", "{\"format\":\"other\"}",
           "{\"format\":\"tavinor-recordset\",\"version\":1,\"columns\":[{\"name\":\"a\","
           "\"type\":3}],\"rows\":[[[3,1],[3,2]]]}",
           // Numbers that do not fit their kind are refused, never cut down to fit.
           Cell("[2,70000]"), Cell("[3,1.5]"), Cell("[17,256]"), Cell("[6,9223372036854775808]"),
           Cell("[6,1e300]"), Cell("[4,1e300]"), Cell("[2.5,1]"),
           Cell("[14,\"123456789012345678901234567890123456789\"]"), Cell("[14,\".\"]"),
           Cell("[5,\"Inf\"]")}) {
    SCOPED_TRACE(text);
    std::ofstream(path_) << text;
    EXPECT_EQ(ErrorNumber([&] { loaded.OpenFile(path_); }), platform::kErrInvalidUse);
    EXPECT_EQ(loaded.State(), platform::kStateClosed);
  }
}

}  // namespace
