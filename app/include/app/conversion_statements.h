// The statements of the conversion run, word for word as the server receives them
// (administrators know them from traces). The run sends them; the report and the
// tests recognise them.
#pragma once

namespace app {

inline constexpr const char* kDatabaseListQuery = "Select name from sysdatabases where name like 'Parvimar%'";
inline constexpr const char* kTypeQuery =
    "Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where "
    "syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'";
// The table is named as the type query names it: on a case-sensitive database
// "movcliente" is another, missing table.
inline constexpr const char* kIndexListQuery = "sp_helpindex MovCliente";
inline constexpr const char* kConstraintListQuery = "sp_helpconstraint 'MovCliente'";
inline constexpr const char* kStatisticsListQuery = "sp_helpstats MovCliente";
// Each drop is followed directly by the object's name, bracketed when it is not a
// regular identifier.
inline constexpr const char* kDropIndex = "Drop index MovCliente.";
inline constexpr const char* kDropConstraint = "Alter Table MovCliente Drop Constraint  ";
inline constexpr const char* kDropStatistics = "drop statistics MovCliente.";
inline constexpr const char* kAlterDataSys = " alter table MovCliente ALTER COLUMN DataSys datetime null";

// The dry run's own reads. Indexes that use DataSys only as an included column or in their filter:
// sp_helpindex shows neither (SQL Server 2008 and later).
inline constexpr const char* kHiddenIndexQuery =
    "select i.name from sys.indexes i "
    "join sys.index_columns ic on ic.object_id = i.object_id and ic.index_id = i.index_id "
    "join sys.columns c on c.object_id = ic.object_id and c.column_id = ic.column_id "
    "where i.object_id = object_id('MovCliente') and c.name = 'DataSys' and ic.is_included_column = 1 "
    "union select i.name from sys.indexes i "
    "where i.object_id = object_id('MovCliente') and i.has_filter = 1 and i.filter_definition like "
    "'%DataSys%'";
// Values that do not read as dates under the session's language and DATEFORMAT,
// the rules ALTER COLUMN reads them by.
inline constexpr const char* kUnconvertibleCount =
    "select count(*) as n from MovCliente where DataSys is not null and isdate(DataSys) = 0";
inline constexpr const char* kUnconvertibleExamples =
    "select top 5 DataSys from MovCliente where DataSys is not null and isdate(DataSys) = 0";

}  // namespace app
