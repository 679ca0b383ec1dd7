// ALTER TABLE ... ALTER COLUMN: refused with 5074 + 4922 while dependents exist, 241 when a stored value is
// no date, and on success the column's type, its values and its auto-created statistics change.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Harness;
using test_support::MovCliente;
using test_support::OneDatabase;

const char* kAlter = " alter table MovCliente ALTER COLUMN DataSys datetime null";

struct DependentCase {
  const char* label;
  json indexes;
  json constraints;
  json statistics;
  std::vector<std::string> messages;  // the 5074 texts expected before 4922
};

TEST(AlterColumn, RefusedWhileAnIndexAUserStatisticOrAConstraintNamesTheColumn) {
  const DependentCase cases[] = {
      {"index on DataSys among others",
       {{{"name", "IX_Reg"}, {"keys", {"NumRegisto", "DataSys"}}}},
       json::array(),
       json::array(),
       {"The index 'IX_Reg' is dependent on column 'DataSys'."}},
      {"user statistic",
       json::array(),
       json::array(),
       {{{"name", "ST_Data"}, {"columns", {"DataSys"}}}},
       {"The statistics 'ST_Data' is dependent on column 'DataSys'."}},
      {"default constraint",
       json::array(),
       {{{"type", "DEFAULT"}, {"name", "DF_Data"}, {"column", "DataSys"}, {"expression", "(getdate())"}}},
       json::array(),
       {"The object 'DF_Data' is dependent on column 'DataSys'."}},
      {"check constraint",
       json::array(),
       {{{"type", "CHECK"},
         {"name", "CK_Data"},
         {"column", "DataSys"},
         {"expression", "([DataSys]>'2000')"}}},
       json::array(),
       {"The object 'CK_Data' is dependent on column 'DataSys'."}},
      {"all three, one message each",
       {{{"name", "IX_Reg"}, {"keys", {"DataSys"}}}},
       {{{"type", "DEFAULT"}, {"name", "DF_Data"}, {"column", "DataSys"}, {"expression", "(getdate())"}}},
       {{{"name", "ST_Data"}, {"columns", {"DataSys"}}}},
       {"The index 'IX_Reg' is dependent on column 'DataSys'.",
        "The statistics 'ST_Data' is dependent on column 'DataSys'.",
        "The object 'DF_Data' is dependent on column 'DataSys'."}},
  };
  for (const auto& c : cases) {
    json table = MovCliente("smalldatetime", {"2024-01-01 10:00"});
    table["indexes"] = c.indexes;
    table["constraints"] = c.constraints;
    table["statistics"] = c.statistics;
    Harness h(OneDatabase(table), "Parvimar01");
    Reply r = h.Run(kAlter);
    std::vector<std::string> texts;
    std::vector<int32_t> numbers = r.ErrorNumbers();
    for (const auto& item : r.items) {
      if (auto* m = std::get_if<MessageItem>(&item); m && m->number == 5074) texts.push_back(m->text);
    }
    EXPECT_EQ(texts, c.messages) << c.label;
    ASSERT_FALSE(numbers.empty()) << c.label;
    EXPECT_EQ(numbers.back(), 4922) << c.label;
    const MessageItem* last = nullptr;
    for (const auto& item : r.items) {
      if (auto* m = std::get_if<MessageItem>(&item)) last = m;
    }
    EXPECT_EQ(last->text,
              "ALTER TABLE ALTER COLUMN DataSys failed because one or more objects access this column.");
    EXPECT_EQ(h.Table("Parvimar01", "MovCliente").columns[2].type.Name(), "smalldatetime") << c.label;
  }
}

TEST(AlterColumn, DependentsOnOtherColumnsAndAutoStatisticsDoNotBlock) {
  json table = MovCliente("smalldatetime", {"2024-01-01 10:00", nullptr});
  table["indexes"] = {{{"name", "IX_Cliente"}, {"keys", {"Cliente"}}}};
  table["constraints"] = {
      {{"type", "PRIMARY KEY"}, {"name", "PK_Mov"}, {"columns", {"NumRegisto"}}},
      {{"type", "DEFAULT"}, {"name", "DF_Cli"}, {"column", "Cliente"}, {"expression", "('')"}}};
  table["statistics"] = {{{"name", "_WA_Sys_3"}, {"columns", {"DataSys"}}, {"auto_created", true}},
                         {{"name", "_WA_Sys_2"}, {"columns", {"Cliente"}}, {"auto_created", true}}};
  Harness h(OneDatabase(table), "Parvimar01");
  Reply r = h.Run(kAlter);
  EXPECT_TRUE(r.ErrorNumbers().empty());
  TableDef& t = h.Table("Parvimar01", "MovCliente");
  EXPECT_EQ(t.columns[2].type.Name(), "datetime");
  EXPECT_TRUE(t.columns[2].nullable);
  ASSERT_EQ(t.statistics.size(), 1u);  // the auto statistic on DataSys went with the change
  EXPECT_EQ(t.statistics[0].name, "_WA_Sys_2");
  EXPECT_EQ(t.rows[0][2].ToText(), "2024-01-01 10:00:00.000");
  EXPECT_TRUE(t.rows[1][2].IsNull());
}

TEST(AlterColumn, ConvertsTextDatesAndRefusesTextThatIsNoDate) {
  {
    Harness h(
        OneDatabase(MovCliente("nvarchar(20)", {"2024-03-01 10:15:00", "20240302", "03/04/2024 16:20"})),
        "Parvimar01");
    EXPECT_TRUE(h.Run(kAlter).ErrorNumbers().empty());
    TableDef& t = h.Table("Parvimar01", "MovCliente");
    EXPECT_EQ(t.rows[1][2].ToText(), "2024-03-02 00:00:00.000");
    EXPECT_EQ(t.rows[2][2].ToText(), "2024-03-04 16:20:00.000");
  }
  {
    Harness h(OneDatabase(MovCliente("nvarchar(20)", {"2024-05-02", "ontem"})), "Parvimar01");
    Reply r = h.Run(kAlter);
    EXPECT_EQ(r.ErrorNumbers(), (std::vector<int32_t>{241}));
    EXPECT_EQ(r.FirstError()->text,
              "Conversion failed when converting date and/or time from character string.");
    EXPECT_EQ(r.InfoNumbers(), (std::vector<int32_t>{3621}));
    TableDef& t = h.Table("Parvimar01", "MovCliente");
    EXPECT_EQ(t.columns[2].type.Name(), "nvarchar");  // nothing changed, not even the first row
    EXPECT_EQ(t.rows[0][2].ToText(), "2024-05-02");
  }
}

TEST(AlterColumn, ReportsMissingObjectsAndNotNullOverNulls) {
  Harness h(OneDatabase(MovCliente("smalldatetime", {nullptr})), "Parvimar01");
  struct Case {
    const char* text;
    int number;
  } cases[] = {
      {" alter table Nada ALTER COLUMN DataSys datetime null", 4902},
      {" alter table MovCliente ALTER COLUMN Nada datetime null", 4924},
      {" alter table MovCliente ALTER COLUMN DataSys datetimex null", 2715},
      {" alter table MovCliente ALTER COLUMN DataSys datetime not null", 515},
  };
  for (const auto& c : cases) {
    Reply r = h.Run(c.text);
    ASSERT_FALSE(r.ErrorNumbers().empty()) << c.text;
    EXPECT_EQ(r.ErrorNumbers().front(), c.number) << c.text;
  }
  // Running the change twice: the second is a no-op that succeeds.
  EXPECT_TRUE(h.Run(kAlter).ErrorNumbers().empty());
  EXPECT_TRUE(h.Run(kAlter).ErrorNumbers().empty());
}

TEST(DropStatements, ReportTheServersErrorsForMissingAndProtectedObjects) {
  json table = MovCliente("smalldatetime", json::array());
  table["indexes"] = {{{"name", "IX_Data"}, {"keys", {"DataSys"}}}};
  table["constraints"] = {{{"type", "PRIMARY KEY"}, {"name", "PK_Mov"}, {"columns", {"NumRegisto"}}}};
  table["statistics"] = {{{"name", "ST_Data"}, {"columns", {"DataSys"}}}};
  Harness h(OneDatabase(table), "Parvimar01");
  struct Case {
    const char* text;
    std::vector<int32_t> errors;
  } cases[] = {
      {"Drop index MovCliente.IX_Nada", {3701}},
      {"Drop index MovCliente.PK_Mov", {3723}},
      {"drop statistics MovCliente.ST_Nada", {3701}},
      {"drop statistics MovCliente.IX_Data", {3739}},
      {"Alter Table MovCliente Drop Constraint  DF_Nada", {3728, 3727}},
      {"Alter Table Nada Drop Constraint  PK_Mov", {4902}},
      {"Drop index MovCliente.IX_Data", {}},
      {"drop statistics MovCliente.ST_Data", {}},
      {"Alter Table MovCliente Drop Constraint  PK_Mov", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(h.Run(c.text).ErrorNumbers(), c.errors) << c.text;
  TableDef& t = h.Table("Parvimar01", "MovCliente");
  EXPECT_TRUE(t.indexes.empty());  // the PRIMARY KEY took its index with it
  EXPECT_TRUE(t.constraints.empty());
  EXPECT_TRUE(t.statistics.empty());
  EXPECT_EQ(
      h.Run("Drop index MovCliente.IX_Data").FirstError()->text,
      "Cannot drop the index 'MovCliente.IX_Data', because it does not exist or you do not have permission.");
}

}  // namespace
}  // namespace standin
