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

}  // namespace app
