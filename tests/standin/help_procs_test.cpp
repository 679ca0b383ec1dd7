// sp_helpindex, sp_helpconstraint and sp_helpstats: the shapes the conversion run reads, and the messages
// printed instead of empty sets.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Column;
using test_support::Harness;
using test_support::MovCliente;
using test_support::OneDatabase;

json FullTable() {
  json t = MovCliente("smalldatetime", json::array());
  t["indexes"] = {{{"name", "IX_Reg"}, {"keys", {"NumRegisto", "DataSys DESC"}}},
                  {{"name", "ix_cliente"}, {"keys", {"Cliente"}}, {"unique", true}}};
  t["constraints"] = {
      {{"type", "PRIMARY KEY"}, {"name", "PK_Mov"}, {"columns", {"NumRegisto"}}, {"clustered", true}},
      {{"type", "DEFAULT"}, {"name", "DF_Mov_DataSys"}, {"column", "DataSys"}, {"expression", "(getdate())"}},
      {{"type", "CHECK"}, {"name", "CK_Mov"}, {"column", "NumRegisto"}, {"expression", "([NumRegisto]>(0))"}},
      {{"type", "FOREIGN KEY"},
       {"name", "FK_Mov_Cliente"},
       {"columns", {"Cliente"}},
       {"references", "Cliente"},
       {"ref_columns", {"Codigo"}}}};
  t["statistics"] = {{{"name", "ST_Data"}, {"columns", {"DataSys", "Cliente"}}},
                     {{"name", "_WA_Sys_00000003_1"}, {"columns", {"DataSys"}}, {"auto_created", true}}};
  return t;
}

std::vector<std::string> Row(const ResultSet& rs, size_t r) {
  std::vector<std::string> out;
  for (const auto& v : rs.rows.at(r)) out.push_back(v.ToText());
  return out;
}

TEST(HelpIndex, ListsIndexesByNameWithDescriptionsAndDescendingMarks) {
  Harness h(OneDatabase(FullTable()), "Parvimar01");
  Reply r = h.Run("sp_helpindex movcliente");
  ASSERT_EQ(r.ResultSets().size(), 1u);
  const ResultSet& rs = *r.ResultSets()[0];
  ASSERT_EQ(rs.columns.size(), 3u);
  EXPECT_EQ(rs.columns[0].name, "index_name");
  EXPECT_EQ(rs.columns[1].name, "index_description");
  EXPECT_EQ(rs.columns[2].name, "index_keys");
  ASSERT_EQ(rs.rows.size(), 3u);
  EXPECT_EQ(Row(rs, 0),
            (std::vector<std::string>{"ix_cliente", "nonclustered, unique located on PRIMARY", "Cliente"}));
  EXPECT_EQ(Row(rs, 1), (std::vector<std::string>{"IX_Reg", "nonclustered located on PRIMARY",
                                                  "NumRegisto, DataSys(-)"}));
  EXPECT_EQ(Row(rs, 2), (std::vector<std::string>{
                            "PK_Mov", "clustered, unique, primary key located on PRIMARY", "NumRegisto"}));
}

TEST(HelpIndex, HidesIncludedColumnsAndFiltersThatTheCatalogueViewsAndAlterColumnSee) {
  json t = MovCliente("smalldatetime", json::array());
  t["indexes"] = {{{"name", "IX_Cliente"}, {"keys", {"Cliente"}}, {"included", {"DataSys"}}},
                  {{"name", "IX_Filtro"}, {"keys", {"NumRegisto"}}, {"filter", "([DataSys] IS NOT NULL)"}}};
  Harness h(OneDatabase(t), "Parvimar01");
  Reply help = h.Run("sp_helpindex MovCliente");
  ASSERT_EQ(help.ResultSets().size(), 1u);
  EXPECT_EQ(Column(help, 0, 2), (std::vector<std::string>{"Cliente", "NumRegisto"}));
  EXPECT_EQ(Column(h.Run("select filter_definition from sys.indexes where has_filter = 1")),
            (std::vector<std::string>{"([DataSys] IS NOT NULL)"}));
  EXPECT_EQ(Column(h.Run("select column_id from sys.index_columns where is_included_column = 1")),
            (std::vector<std::string>{"3"}));
  // Made by statement, the same.
  EXPECT_TRUE(h.Run("create index IX_Novo on MovCliente (NumRegisto) include (Cliente, DataSys) where "
                    "NumRegisto > 0")
                  .ErrorNumbers()
                  .empty());
  EXPECT_EQ(Column(h.Run("select column_id from sys.index_columns where is_included_column = 1")),
            (std::vector<std::string>{"3", "2", "3"}));
  Reply alter = h.Run("alter table MovCliente alter column DataSys datetime null");
  EXPECT_EQ(alter.ErrorNumbers(), (std::vector<int32_t>{5074, 5074, 5074, 4922}));
  EXPECT_EQ(alter.FirstError()->text, "The index 'IX_Cliente' is dependent on column 'DataSys'.");
}

TEST(HelpIndex, OnACaseSensitiveDatabaseObjectNamesCompareWithCase) {
  json s = OneDatabase(FullTable());
  s["databases"][0]["case_sensitive"] = true;
  Harness h(s, "Parvimar01");
  for (const char* text :
       {"sp_helpindex movcliente", "sp_helpstats movcliente", "sp_helpconstraint movcliente"})
    EXPECT_EQ(h.Run(text).ErrorNumbers(), (std::vector<int32_t>{15009})) << text;
  EXPECT_EQ(h.Run("sp_helpindex MovCliente").ResultSets().size(), 1u);
  EXPECT_EQ(Column(h.Run("select object_id('movcliente')")), (std::vector<std::string>{"NULL"}));
  EXPECT_NE(Column(h.Run("select object_id('MovCliente')")), (std::vector<std::string>{"NULL"}));
  EXPECT_EQ(h.Run("select * from movcliente").ErrorNumbers(), (std::vector<int32_t>{208}));
}

TEST(HelpProcedures, PrintMessagesInsteadOfEmptySetsAndFailOnMissingTables) {
  struct Case {
    const char* text;
    size_t sets;
    std::vector<int32_t> infos;
    std::vector<int32_t> errors;
    int32_t return_status;
    const char* message;
  } cases[] = {
      {"sp_helpindex 'MovCliente'",
       0,
       {15472},
       {},
       0,
       "The object 'MovCliente' does not have any indexes, or you do not have permissions."},
      {"sp_helpconstraint 'MovCliente'",
       1,
       {15469, 15470},
       {},
       0,
       "No constraints are defined on object 'MovCliente', or you do not have permissions."},
      {"sp_helpconstraint MovCliente, 'nomsg'", 0, {15469, 15470}, {}, 0, nullptr},
      {"sp_helpstats movcliente", 0, {15574}, {}, 0, "This object does not have any statistics."},
      {"sp_helpstats movcliente, 'ALL'",
       0,
       {15575},
       {},
       0,
       "This object does not have any statistics or indexes."},
      {"sp_helpindex Nada",
       0,
       {},
       {15009},
       1,
       "The object 'Nada' does not exist in database 'Parvimar01' or is invalid for this operation."},
      {"sp_helpconstraint 'Nada'", 0, {}, {15009}, 1, nullptr},
      {"sp_helpstats Nada", 0, {}, {15009}, 1, nullptr},
      {"sp_helpindex",
       0,
       {},
       {201},
       1,
       "Procedure or function 'sp_helpindex' expects parameter '@objname', which was not supplied."},
      {"sp_helpindex 'Outra.dbo.MovCliente'", 0, {}, {15250}, 1, nullptr},
  };
  Harness h(OneDatabase(MovCliente("smalldatetime", json::array())), "Parvimar01");
  for (const auto& c : cases) {
    Reply r = h.Run(c.text);
    EXPECT_EQ(r.ResultSets().size(), c.sets) << c.text;
    EXPECT_EQ(r.InfoNumbers(), c.infos) << c.text;
    EXPECT_EQ(r.ErrorNumbers(), c.errors) << c.text;
    int32_t status = -1;
    for (const auto& item : r.items) {
      if (auto* s = std::get_if<ReturnStatusItem>(&item)) status = s->status;
    }
    EXPECT_EQ(status, c.return_status) << c.text;
    if (c.message) {
      std::string first;
      for (const auto& item : r.items) {
        if (auto* m = std::get_if<MessageItem>(&item); m && first.empty()) first = m->text;
      }
      EXPECT_EQ(first, c.message) << c.text;
    }
  }
}

TEST(HelpConstraint, ObjectNameFirstThenConstraintsByNameWithForeignKeyContinuation) {
  json s = OneDatabase(FullTable());
  s["databases"][0]["tables"].push_back(
      {{"name", "Cliente"},
       {"columns", {{{"name", "Codigo"}, {"type", "nvarchar(10)"}, {"nullable", false}}}}});
  s["databases"][0]["tables"].push_back({{"name", "Historico"},
                                         {"columns", {{{"name", "Mov"}, {"type", "int"}}}},
                                         {"constraints",
                                          {{{"type", "FOREIGN KEY"},
                                            {"name", "FK_Hist_Mov"},
                                            {"columns", {"Mov"}},
                                            {"references", "MovCliente"},
                                            {"ref_columns", {"NumRegisto"}}}}}});
  Harness h(s, "Parvimar01");
  Reply r = h.Run("sp_helpconstraint 'MovCliente'");
  auto sets = r.ResultSets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0]->columns[0].name, "Object Name");
  EXPECT_EQ(Column(r, 0), (std::vector<std::string>{"MovCliente"}));

  const ResultSet& rs = *sets[1];
  std::vector<std::string> names;
  for (const auto& c : rs.columns) names.push_back(c.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"constraint_type", "constraint_name", "delete_action", "update_action",
                                      "status_enabled", "status_for_replication", "constraint_keys"}));
  ASSERT_EQ(rs.rows.size(), 5u);
  EXPECT_EQ(Row(rs, 0), (std::vector<std::string>{"CHECK on column NumRegisto", "CK_Mov", "(n/a)", "(n/a)",
                                                  "Enabled", "Is_For_Replication", "([NumRegisto]>(0))"}));
  EXPECT_EQ(Row(rs, 1), (std::vector<std::string>{"DEFAULT on column DataSys", "DF_Mov_DataSys", "(n/a)",
                                                  "(n/a)", "(n/a)", "(n/a)", "(getdate())"}));
  EXPECT_EQ(Row(rs, 2), (std::vector<std::string>{"FOREIGN KEY", "FK_Mov_Cliente", "No Action", "No Action",
                                                  "Enabled", "Is_For_Replication", "Cliente"}));
  EXPECT_EQ(Row(rs, 3), (std::vector<std::string>{" ", " ", " ", " ", " ", " ",
                                                  "REFERENCES Parvimar01.dbo.Cliente (Codigo)"}));
  EXPECT_EQ(Row(rs, 4), (std::vector<std::string>{"PRIMARY KEY (clustered)", "PK_Mov", "(n/a)", "(n/a)",
                                                  "(n/a)", "(n/a)", "NumRegisto"}));
  EXPECT_EQ(sets[2]->columns[0].name, "Table is referenced by foreign key");
  EXPECT_EQ(Column(r, 2), (std::vector<std::string>{"Parvimar01.dbo.Historico: FK_Hist_Mov"}));
}

TEST(HelpStats, ListsColumnStatisticsByDefaultAndAddsIndexesWithAll) {
  Harness h(OneDatabase(FullTable()), "Parvimar01");
  Reply stats = h.Run("sp_helpstats movcliente");
  ASSERT_EQ(stats.ResultSets().size(), 1u);
  EXPECT_EQ(stats.ResultSets()[0]->columns[0].name, "statistics_name");
  EXPECT_EQ(stats.ResultSets()[0]->columns[1].name, "statistics_keys");
  EXPECT_EQ(Column(stats, 0, 0), (std::vector<std::string>{"_WA_Sys_00000003_1", "ST_Data"}));
  EXPECT_EQ(Column(stats, 0, 1), (std::vector<std::string>{"DataSys", "DataSys, Cliente"}));
  Reply all = h.Run("sp_helpstats 'MovCliente', 'ALL'");
  EXPECT_EQ(Column(all, 0, 0),
            (std::vector<std::string>{"_WA_Sys_00000003_1", "ix_cliente", "IX_Reg", "PK_Mov", "ST_Data"}));
}

TEST(Help, DescribesATableInTheServersOrderOfResultSets) {
  json table = FullTable();
  table["columns"][0]["identity"] = true;
  table["columns"].push_back({{"name", "Valor"}, {"type", "decimal(12,2)"}});
  table["columns"].push_back({{"name", "Codigo"}, {"type", "varchar(8)"}});
  Harness h(OneDatabase(table), "Parvimar01");
  Reply r = h.Run("sp_help MovCliente");
  auto sets = r.ResultSets();
  std::vector<std::string> first_columns;
  for (const auto* set : sets) first_columns.push_back(set->columns[0].name);
  EXPECT_EQ(first_columns,
            (std::vector<std::string>{"Name", "Column_name", "Identity", "RowGuidCol",
                                      "Data_located_on_filegroup", "index_name", "constraint_type"}));
  EXPECT_EQ(Row(*sets[0], 0)[2], "user table");
  // Column_name, Type, Computed, Length, Prec, Scale, Nullable, TrimTrailingBlanks, FixedLenNullInSource,
  // Collation
  EXPECT_EQ(Row(*sets[1], 0), (std::vector<std::string>{"NumRegisto", "int", "no", "4", "10   ", "0    ",
                                                        "no", "(n/a)", "(n/a)", "NULL"}));
  EXPECT_EQ(Row(*sets[1], 1),
            (std::vector<std::string>{"Cliente", "nvarchar", "no", "40", "     ", "     ", "yes", "no",
                                      "(n/a)", "SQL_Latin1_General_CP1_CI_AS"}));
  EXPECT_EQ(Row(*sets[1], 2)[4], "     ");  // smalldatetime has no precision here
  EXPECT_EQ(Row(*sets[1], 3)[4], "12   ");
  EXPECT_EQ(Row(*sets[1], 4), (std::vector<std::string>{"Codigo", "varchar", "no", "8", "     ", "     ",
                                                        "yes", "no", "yes", "SQL_Latin1_General_CP1_CI_AS"}));
  EXPECT_EQ(Row(*sets[2], 0), (std::vector<std::string>{"NumRegisto", "1", "1", "0"}));
  EXPECT_EQ(r.InfoNumbers(), (std::vector<int32_t>{15470, 15647}));

  Harness bare(OneDatabase(MovCliente("smalldatetime", json::array())), "Parvimar01");
  Reply b = bare.Run("exec sp_help 'MovCliente'");
  EXPECT_EQ(b.ResultSets().size(), 5u);  // no index and no constraint sets, their messages instead
  EXPECT_EQ(Column(b, 2), (std::vector<std::string>{"No identity column defined."}));
  EXPECT_EQ(b.InfoNumbers(), (std::vector<int32_t>{15472, 15469, 15470, 15647}));
  EXPECT_EQ(Column(b, 3), (std::vector<std::string>{"No rowguidcol column defined."}));
  bare.Run("alter table MovCliente add Chave uniqueidentifier ROWGUIDCOL null");
  EXPECT_EQ(Column(bare.Run("sp_help 'MovCliente'"), 3), (std::vector<std::string>{"Chave"}));
  EXPECT_EQ(bare.Run("sp_help Nada").ErrorNumbers(), (std::vector<int32_t>{15009}));
  EXPECT_EQ(Column(bare.Run("sp_help")), (std::vector<std::string>{"MovCliente"}));
}

TEST(CatalogProcedures, TablesAndColumnsMatchLikePatternsWithEscapes) {
  json s = OneDatabase(FullTable());
  s["databases"][0]["tables"].push_back(
      {{"name", "Mov_Cliente"},
       {"columns",
        {{{"name", "Id"}, {"type", "numeric(18,0)"}, {"identity", true}, {"nullable", false}},
         {{"name", "Data_ys"}, {"type", "nvarchar(max)"}}}}});
  Harness h(s, "Parvimar01");
  struct Case {
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {"sp_tables @table_name = 'Mov_liente'", {"MovCliente"}},  // "_" is a wildcard
      {"sp_tables @table_name = N'Mov[_]Cliente'", {"Mov_Cliente"}},
      {"sp_tables @table_name = 'Mov[_]Cli'", {}},
      {"sp_tables @table_name = 'mov%', @table_type = \"'VIEW'\"", {}},
      {"sp_tables @table_name = 'Mov%', @table_owner = 'dbo', @table_qualifier = 'Outra'", {}},
      {"sp_columns @table_name = 'MovCliente',@COLUMN_NAME='Data_ys'", {"DataSys"}},
      {"sp_columns @table_name = 'Mov[_]Cliente',@COLUMN_NAME='Data[_]ys'", {"Data_ys"}},
      {"sp_columns @table_name = 'Falta'", {}},
  };
  for (const auto& c : cases) {
    Reply r = h.Run(c.text);
    ASSERT_EQ(r.ResultSets().size(), 1u) << c.text;  // an empty set, never a message
    const bool tables = std::string(c.text).starts_with("sp_tables");
    EXPECT_EQ(r.ResultSets()[0]->columns.size(), tables ? 5u : 19u) << c.text;
    EXPECT_EQ(Column(r, 0, tables ? 2 : 3), c.names) << c.text;
  }
  EXPECT_EQ(Row(*h.Run("sp_tables 'MovCliente'").ResultSets()[0], 0),
            (std::vector<std::string>{"Parvimar01", "dbo", "MovCliente", "TABLE", "NULL"}));

  const ResultSet columns = *h.Run("sp_columns 'Mov[_]Cliente'").ResultSets()[0];
  std::vector<std::string> names;
  for (const auto& c : columns.columns) names.push_back(c.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME",
                "PRECISION", "LENGTH", "SCALE", "RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE",
                "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE", "SS_DATA_TYPE"}));
  EXPECT_EQ(Row(columns, 0),
            (std::vector<std::string>{"Parvimar01", "dbo", "Mov_Cliente", "Id", "2", "numeric() identity",
                                      "18", "20", "0", "10", "0", "NULL", "NULL", "2", "NULL", "NULL", "1",
                                      "NO", "108"}));
  // A (max) column is described under its legacy type.
  EXPECT_EQ(Row(columns, 1)[5], "ntext");
  EXPECT_EQ(Row(columns, 1)[17], "YES");
  const ResultSet dates = *h.Run("sp_columns MovCliente, @column_name = 'DataSys'").ResultSets()[0];
  EXPECT_EQ(Row(dates, 0)[12], "(getdate())");
  EXPECT_EQ(Row(dates, 0)[13], "9");  // SQL_DATETIME
}

TEST(CatalogProcedures, StoredProceduresListOwnersAndGroupNumbersAndIndexesNeedALinkedServer) {
  Harness h(OneDatabase(MovCliente("smalldatetime", json::array())), "Parvimar01");
  h.Run("create procedure Mensal as select 1");
  Reply r = h.Run("sp_stored_procedures");
  ASSERT_EQ(r.ResultSets().size(), 1u);
  const ResultSet& rs = *r.ResultSets()[0];
  ASSERT_EQ(rs.columns.size(), 8u);
  EXPECT_EQ(rs.columns[2].name, "PROCEDURE_NAME");
  EXPECT_EQ(Row(rs, 0),
            (std::vector<std::string>{"Parvimar01", "dbo", "Mensal;1", "-1", "-1", "-1", "NULL", "2"}));
  bool system_listed = false;
  for (size_t k = 1; k < rs.rows.size(); ++k) {
    EXPECT_EQ(Row(rs, k)[1], "sys");
    system_listed = system_listed || Row(rs, k)[2] == "sp_helpindex;1";
  }
  EXPECT_TRUE(system_listed);
  EXPECT_EQ(Column(h.Run("sp_stored_procedures @sp_name = 'Men%'"), 0, 2),
            (std::vector<std::string>{"Mensal;1"}));

  EXPECT_EQ(h.Run("sp_indexes @table_name = 'MovCliente' , @index_name= 'IX_A'").ErrorNumbers(),
            (std::vector<int32_t>{201}));
  EXPECT_EQ(h.Run("sp_indexes 'OUTRO', 'MovCliente'").ErrorNumbers(), (std::vector<int32_t>{7202}));
}

}  // namespace
}  // namespace standin
