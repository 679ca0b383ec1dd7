// The catalogue reads of a column's dependents, and the statements that create them again, round trip: what
// the reads show is what the created objects show.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Column;
using test_support::Harness;
using test_support::MovCliente;
using test_support::OneDatabase;

constexpr const char* kIndexes =
    "select i.index_id, i.name, i.type_desc, i.is_unique, i.is_primary_key, i.is_unique_constraint, "
    "i.filter_definition, c.name as column_name, ic.key_ordinal, ic.is_descending_key, ic.is_included_column "
    "from sys.indexes i join sys.index_columns ic on ic.object_id = i.object_id and ic.index_id = i.index_id "
    "join sys.columns c on c.object_id = ic.object_id and c.column_id = ic.column_id "
    "where i.object_id = object_id('MovCliente') "
    "order by i.index_id, ic.is_included_column, ic.key_ordinal, ic.index_column_id";
constexpr const char* kStatistics =
    "select s.stats_id, s.name, s.filter_definition, c.name as column_name from sys.stats s "
    "join sys.stats_columns sc on sc.object_id = s.object_id and sc.stats_id = s.stats_id "
    "join sys.columns c on c.object_id = sc.object_id and c.column_id = sc.column_id "
    "where s.object_id = object_id('MovCliente') and s.user_created = 1 order by s.stats_id, "
    "sc.stats_column_id";
constexpr const char* kDefaults =
    "select d.name, c.name as column_name, d.definition from sys.default_constraints d "
    "join sys.columns c on c.object_id = d.parent_object_id and c.column_id = d.parent_column_id "
    "where d.parent_object_id = object_id('MovCliente')";
constexpr const char* kChecks =
    "select k.name, c.name as column_name, k.definition, k.is_not_trusted from sys.check_constraints k "
    "left join sys.columns c on c.object_id = k.parent_object_id and c.column_id = k.parent_column_id "
    "where k.parent_object_id = object_id('MovCliente')";

json Table() {
  json t = MovCliente("smalldatetime", {"2024-01-05 09:30:00"});
  t["indexes"] = {
      {{"name", "IX_Cliente"}, {"keys", {"Cliente"}}, {"included", {"DataSys"}}},
      {{"name", "IX_Recentes"}, {"keys", {"NumRegisto DESC"}}, {"filter", "([DataSys] IS NOT NULL)"}}};
  t["constraints"] = {
      {{"type", "PRIMARY KEY"}, {"name", "PK_Mov"}, {"columns", {"NumRegisto"}}},
      {{"type", "DEFAULT"}, {"name", "DF_Data"}, {"column", "DataSys"}, {"expression", "(getdate())"}},
      {{"type", "CHECK"}, {"name", "CK_Tabela"}, {"expression", "([DataSys] IS NULL OR [NumRegisto]>(0))"}}};
  t["statistics"] = {{{"name", "ST_Data"}, {"columns", {"DataSys", "Cliente"}}, {"auto_created", false}},
                     {{"name", "_WA_Sys_1"}, {"columns", {"DataSys"}}, {"auto_created", true}}};
  return t;
}

TEST(KeepForms, ReadsShowEveryDependentWithItsDefinition) {
  Harness h(OneDatabase(Table()), "Parvimar01");
  // The clustered primary key comes first, keys before included columns.
  Reply indexes = h.Run(kIndexes);
  ASSERT_TRUE(indexes.ErrorNumbers().empty());
  EXPECT_EQ(Column(indexes, 0, 1),
            (std::vector<std::string>{"PK_Mov", "IX_Cliente", "IX_Cliente", "IX_Recentes"}));
  EXPECT_EQ(Column(indexes, 0, 7),
            (std::vector<std::string>{"NumRegisto", "Cliente", "DataSys", "NumRegisto"}));
  EXPECT_EQ(Column(indexes, 0, 10), (std::vector<std::string>{"0", "0", "1", "0"}));
  EXPECT_EQ(Column(indexes, 0, 9), (std::vector<std::string>{"0", "0", "0", "1"}));
  EXPECT_EQ(Column(indexes, 0, 6),
            (std::vector<std::string>{"NULL", "NULL", "NULL", "([DataSys] IS NOT NULL)"}));
  EXPECT_EQ(Column(indexes, 0, 4), (std::vector<std::string>{"1", "0", "0", "0"}));
  // Automatic statistics are not user-created.
  EXPECT_EQ(Column(h.Run(kStatistics), 0, 3), (std::vector<std::string>{"DataSys", "Cliente"}));
  EXPECT_EQ(Column(h.Run(kDefaults), 0, 2), (std::vector<std::string>{"(getdate())"}));
  Reply checks = h.Run(kChecks);
  EXPECT_EQ(Column(checks, 0, 1), (std::vector<std::string>{"NULL"})) << "a table-level check has no column";
  // A missing table has nothing.
  EXPECT_TRUE(h.Run("drop table MovCliente").ErrorNumbers().empty());
  for (const char* read : {kIndexes, kStatistics, kDefaults, kChecks})
    EXPECT_TRUE(Column(h.Run(read)).empty());
}

TEST(KeepForms, DroppedDependentsCreatedAgainReadTheSame) {
  Harness h(OneDatabase(Table()), "Parvimar01");
  const auto read = [&] {
    std::vector<std::vector<std::string>> all;
    for (const char* text : {kIndexes, kStatistics, kDefaults, kChecks}) {
      Reply reply = h.Run(text);
      for (size_t column = 0; column < reply.ResultSets().at(0)->columns.size(); ++column) {
        all.push_back(Column(reply, 0, column));
      }
    }
    return all;
  };
  const auto before = read();
  // A table-level check and an index filtered on the column block its change.
  Reply blocked = h.Run("alter table MovCliente alter column DataSys datetime null");
  EXPECT_EQ(blocked.ErrorNumbers(), (std::vector<int32_t>{5074, 5074, 5074, 5074, 5074, 4922}));
  for (const char* text :
       {"alter table MovCliente drop constraint CK_Tabela", "alter table MovCliente drop constraint DF_Data",
        "drop statistics MovCliente.ST_Data", "drop index MovCliente.IX_Recentes",
        "drop index MovCliente.IX_Cliente", "alter table MovCliente alter column DataSys datetime null",
        "CREATE NONCLUSTERED INDEX [IX_Cliente] ON MovCliente ([Cliente]) INCLUDE ([DataSys])",
        "CREATE NONCLUSTERED INDEX [IX_Recentes] ON MovCliente ([NumRegisto] DESC) WHERE ([DataSys] IS NOT "
        "NULL)",
        "CREATE STATISTICS [ST_Data] ON MovCliente ([DataSys], [Cliente])",
        "ALTER TABLE MovCliente ADD CONSTRAINT [DF_Data] DEFAULT (getdate()) FOR [DataSys]",
        "ALTER TABLE MovCliente WITH CHECK ADD CONSTRAINT [CK_Tabela] CHECK ([DataSys] IS NULL OR "
        "[NumRegisto]>(0))"}) {
    EXPECT_TRUE(h.Run(text).ErrorNumbers().empty()) << text;
  }
  EXPECT_EQ(read(), before);
  // A check added WITH NOCHECK was never verified, and says so; one naming one column is that column's.
  EXPECT_TRUE(h.Run("ALTER TABLE MovCliente WITH NOCHECK ADD CONSTRAINT CK_Data CHECK ([DataSys]>'20000101')")
                  .ErrorNumbers()
                  .empty());
  Reply checks = h.Run(kChecks);
  EXPECT_EQ(Column(checks, 0, 1), (std::vector<std::string>{"NULL", "DataSys"}));
  EXPECT_EQ(Column(checks, 0, 3), (std::vector<std::string>{"0", "1"}));
}

}  // namespace
}  // namespace standin
