// The statements of the conversion run as the server must receive them, word for
// word, for tests that script or check them.
#pragma once

namespace testsupport {

inline constexpr const char* kDatabaseListQuery = "Select name from sysdatabases where name like 'Parvimar%'";
inline constexpr const char* kTypeQuery =
    "Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where "
    "syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'";
inline constexpr const char* kAlterDataSys = " alter table MovCliente ALTER COLUMN DataSys datetime null";

}  // namespace testsupport
