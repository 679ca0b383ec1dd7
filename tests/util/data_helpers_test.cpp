#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "util/ediv.h"

namespace {

using platform::Error;
using platform::Variant;
using platform::VariantArray;
using testsupport::Reply;
using testsupport::Table;

// An array as the builders read it: element 0 unused, the values from index 1.
VariantArray FromOne(std::vector<Variant> values) {
  VariantArray array;
  array.items.emplace_back("unused");
  for (auto& value : values) array.items.push_back(std::move(value));
  return array;
}

const platform::Date kFourthOfMarch = platform::Date::FromParts({2024, 3, 4, 9, 5, 7});

TEST(EDivStatementBuilders, InsertWritesEachKindInItsOwnColumn) {
  struct Case {
    std::vector<Variant> values;
    const char* expected;
  } cases[] = {
      {{Variant(std::int32_t{1}), Variant("abc"), Variant(2.5)},
       "INSERT INTO T (a,b,c) VALUES (1 , 'abc' , 2.5 )"},
      // A date is written the way the server reads under every language: the
      // fourth of March never becomes the third of April.
      {{Variant(kFourthOfMarch), Variant(platform::Currency::Parse("-1234.5")), Variant(2.5f)},
       "INSERT INTO T (a,b,c) VALUES ('20240304 09:05:07' , -1234.5 , 2.5 )"},
      // Null and Empty keep their place as NULL; apostrophes are the caller's duty.
      {{Variant::Null(), Variant("O'Brien"), Variant()},
       "INSERT INTO T (a,b,c) VALUES (NULL , 'O'Brien' , NULL )"},
      {{Variant(true), Variant(false), Variant(platform::Bytes{0x0A, 0xFF})},
       "INSERT INTO T (a,b,c) VALUES (-1 , 0 , 0x0AFF )"},
  };
  for (auto& c : cases) {
    VariantArray values = FromOne(c.values);
    EXPECT_EQ(SharedEDiv().InsertSQL("  T ", FromOne({"a", "b", "c"}), values), c.expected);
  }
}

TEST(EDivStatementBuilders, BooleansAreRewrittenInTheCallersArray) {
  VariantArray values = FromOne({Variant(true), Variant(false)});
  SharedEDiv().InsertSQL("T", FromOne({"a", "b"}), values);
  EXPECT_EQ(values.items[1], Variant(std::int16_t{-1}));
  EXPECT_EQ(values.items[2], Variant(std::int16_t{0}));

  Variant held(FromOne({Variant(true)}));
  EXPECT_EQ(SharedEDiv().UpdateSQL("T", FromOne({"a"}), held, "WHERE id=3"), "UPDATE T SET a=-1 WHERE id=3");
  EXPECT_EQ(held.Array()->items[1], Variant(std::int16_t{-1}));
}

TEST(EDivStatementBuilders, UpdateKeepsTheTableNameAndStopsAtTheShorterArray) {
  struct Case {
    std::vector<Variant> names;
    std::vector<Variant> values;
    const char* where;
    const char* expected;
  } cases[] = {
      {{"a", "b"},
       {Variant(std::int32_t{1}), Variant("abc")},
       "WHERE id=3",
       "UPDATE  T SET a=1,b='abc' WHERE id=3"},
      // A Null never takes the previous position's text.
      {{"a", "b"}, {Variant("x"), Variant::Null()}, "", "UPDATE  T SET a='x',b=NULL "},
      {{"a", "b", "c"}, {Variant(std::int16_t{7})}, "WHERE k=1", "UPDATE  T SET a=7 WHERE k=1"},
      {{"a"}, {Variant(kFourthOfMarch), Variant(9.0)}, "", "UPDATE  T SET a='20240304 09:05:07' "},
  };
  for (auto& c : cases) {
    Variant values(FromOne(c.values));
    EXPECT_EQ(SharedEDiv().UpdateSQL(" T", FromOne(c.names), values, c.where), c.expected);
  }
  Variant not_an_array("x");
  EXPECT_EQ(SharedEDiv().UpdateSQL("T", FromOne({"a"}), not_an_array, ""), "UPDATE T SET  ");
}

TEST(EDivStatementBuilders, ArraysWithoutElementsGiveAnEmptyStatement) {
  VariantArray none;
  EXPECT_EQ(SharedEDiv().InsertSQL("T", VariantArray{}, none), "INSERT INTO T () VALUES ()");
}

class EDivDataAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    connection_.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv");
  }
  void TearDown() override { platform::SetUi(nullptr); }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
  platform::Connection connection_;
};

TEST_F(EDivDataAccessTest, RunSqlRunsATextCommandAndReportsOnlySuccess) {
  driver_->FailExecute("db", "delete from nada", Error(208, "Invalid object name 'nada'."));
  EXPECT_TRUE(SharedEDiv().RunSQL(connection_, "update t set a = 1"));
  EXPECT_FALSE(SharedEDiv().RunSQL(connection_, "delete from nada"));
  ASSERT_EQ(driver_->Events().size(), 3u);
  EXPECT_EQ(driver_->Events()[1].kind, testsupport::Event::Kind::kCommand);
  EXPECT_EQ(driver_->Statements("db"), (std::vector<std::string>{"update t set a = 1", "delete from nada"}));
  EXPECT_TRUE(ui_->boxes.empty());
  connection_.Close();
  EXPECT_FALSE(SharedEDiv().RunSQL(connection_, "update t set a = 1"));
}

TEST_F(EDivDataAccessTest, GetFieldValueGivesTheValueEmptyOrNull) {
  driver_->OnExecute("db", "select Nome from t", Reply({Table({"Nome"}, {{"Ana"}, {"Rui"}})}));
  driver_->OnExecute("db", "select Nome from t where 0=1", Reply({Table({"Nome"}, {})}));
  driver_->OnExecute("db", "select Obs from t", Reply({Table({"Obs"}, {{Variant::Null()}})}));
  driver_->FailExecute("db", "select x from nada", Error(208, "Invalid object name 'nada'."));

  EXPECT_EQ(SharedEDiv().GetFieldValue(connection_, "select Nome from t", "nome"), Variant("Ana"));
  EXPECT_TRUE(SharedEDiv().GetFieldValue(connection_, "select Nome from t where 0=1", "Nome").IsEmpty());
  EXPECT_TRUE(SharedEDiv().GetFieldValue(connection_, "select Obs from t", "Obs").IsNull());
  EXPECT_TRUE(SharedEDiv().GetFieldValue(connection_, "select x from nada", "x").IsNull());
  EXPECT_TRUE(SharedEDiv().GetFieldValue(connection_, "select Nome from t", "Falta").IsNull());
  EXPECT_EQ(ui_->events_pumped, 5) << "window events run once per call";
}

TEST_F(EDivDataAccessTest, IsVazioNeedsStartAndEndTogether) {
  driver_->OnExecute("db", "rows", Reply({Table({"a"}, {{Variant(std::int32_t{1})}})}));
  driver_->OnExecute("db", "none", Reply({Table({"a"}, {})}));
  platform::Recordset rows = connection_.Execute("rows");
  rows.MoveNext();
  EXPECT_TRUE(rows.Eof());
  EXPECT_FALSE(SharedEDiv().IsVazio(rows)) << "past the last row is not empty";
  EXPECT_TRUE(SharedEDiv().IsVazio(connection_.Execute("none")));
  EXPECT_FALSE(SharedEDiv().IsVazio(connection_.Execute("update t set a = 1"))) << "a closed result";
}

TEST(EDivIsNulo, DefaultOnlyForNull) {
  EXPECT_EQ(SharedEDiv().IsNulo(Variant::Null(), Variant("x")), Variant("x"));
  EXPECT_TRUE(SharedEDiv().IsNulo(Variant(), Variant("x")).IsEmpty());
  EXPECT_EQ(SharedEDiv().IsNulo(Variant(0.0), Variant(1.0)), Variant(0.0));
}

}  // namespace
