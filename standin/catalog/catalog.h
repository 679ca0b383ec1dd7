// The server model behind the stand-in: logins, databases and, per database, tables with their columns, rows,
// indexes, constraints and statistics, users and stored procedures, plus the server process list. Names
// compare case-insensitively, as under the default collation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/value.h"

namespace standin {

struct ColumnDef {
  std::string name;
  SqlType type;
  bool nullable = true;
  bool identity = false;
  int64_t seed = 1;
  int64_t increment = 1;
  bool rowguidcol = false;
};

struct IndexKey {
  std::string column;
  bool descending = false;
};

struct IndexDef {
  std::string name;
  std::vector<IndexKey> keys;
  bool unique = false;
  bool clustered = false;
  bool primary_key = false;        // the index that enforces a PRIMARY KEY constraint of the same name
  bool unique_constraint = false;  // the index that enforces a UNIQUE constraint of the same name
  std::string filegroup = "PRIMARY";
  std::vector<std::string> included;  // INCLUDE (...) columns, not keys: sp_helpindex does not show them
  std::string filter;                 // WHERE of a filtered index as stored, "([DataSys] IS NOT NULL)"

  // Whether the index uses `column` as a key, an included column or in its filter.
  bool UsesColumn(std::string_view column) const;
};

enum class ConstraintKind { kPrimaryKey, kUnique, kForeignKey, kCheck, kDefault };

struct ConstraintDef {
  ConstraintKind kind = ConstraintKind::kDefault;
  std::string name;
  std::vector<IndexKey> columns;  // keys of PK/UQ/FK; the one column of a column DEFAULT or CHECK
  std::string expression;         // DEFAULT and CHECK text, as stored ("(getdate())")
  std::string ref_table;          // FOREIGN KEY
  std::vector<std::string> ref_columns;
  std::string delete_action = "No Action";
  std::string update_action = "No Action";
  bool enabled = true;
  bool not_trusted = false;  // CHECK added WITH NOCHECK: the rows were never verified against it
  bool not_for_replication = false;
  bool clustered = false;  // PK/UQ
};

struct StatisticDef {
  std::string name;
  std::vector<std::string> columns;
  bool auto_created = false;
};

struct TableDef {
  std::string name;
  std::string owner = "dbo";
  int32_t object_id = 0;
  std::vector<ColumnDef> columns;
  std::vector<std::vector<Value>> rows;  // one value per column, in column order
  std::vector<IndexDef> indexes;
  std::vector<ConstraintDef> constraints;
  std::vector<StatisticDef> statistics;

  const ColumnDef* FindColumn(std::string_view column) const;
  int ColumnIndex(std::string_view column) const;  // -1 when absent
  IndexDef* FindIndex(std::string_view index);
  ConstraintDef* FindConstraint(std::string_view constraint);
  StatisticDef* FindStatistic(std::string_view statistic);
};

struct ProcParamDef {
  std::string name;  // with the leading "@"
  SqlType type;
  bool output = false;
  Value value;  // value handed back for an output parameter
};

// A stored procedure of the scenario: it answers with fixed result sets, output values and a return status.
struct ResultSetDef {
  std::vector<ColumnDef> columns;
  std::vector<std::vector<Value>> rows;
};

struct ProcedureDef {
  std::string name;
  std::string owner = "dbo";
  int32_t object_id = 0;
  std::vector<ProcParamDef> params;
  int32_t return_status = 0;
  std::vector<ResultSetDef> results;
  std::string body;  // a procedure made by CREATE PROCEDURE: the statements after AS, run by EXEC
};

struct UserDef {
  std::string name;
  std::string login;
  std::vector<std::string> roles;
};

// A user-defined (alias) type on a system type, as sp_addtype or CREATE TYPE ... FROM makes it: systypes
// lists it with its base type's xtype and a user type id from 257 on.
struct AliasTypeDef {
  std::string name;
  SqlType base;
  int xusertype = 257;
};

enum class DbState { kOnline, kOffline };

struct Database {
  std::string name;
  std::string owner = "sa";
  DbState state = DbState::kOnline;
  bool single_user = false;
  // A case-sensitive collation (a _CS_ or _BIN one): object names then compare with case.
  bool case_sensitive = false;
  int16_t dbid = 0;
  DateTime created;
  std::vector<TableDef> tables;
  std::vector<UserDef> users;
  std::vector<ProcedureDef> procedures;
  std::vector<AliasTypeDef> types;  // alias types, in user type id order
  int32_t next_object_id = 0;

  // Tables and procedures by (the last part of) their name, compared as the database's collation compares.
  TableDef* FindTable(std::string_view table);
  ProcedureDef* FindProcedure(std::string_view procedure);
  // A type as a column declares it: a system type ("nvarchar(10)") or an alias type of this database, which
  // keeps its base type and carries its own name. Nothing for an unknown name.
  std::optional<SqlType> ResolveType(std::string_view text) const;
  int32_t NewObjectId() { return next_object_id++; }
};

struct LoginDef {
  std::string name;
  std::string password;
  std::string default_database = "master";
  std::string default_language = "us_english";  // a name or alias of sys.syslanguages
  std::vector<std::string> server_roles;
  bool disabled = false;
};

// A row of sysprocesses seeded by the scenario (sessions of other programs); live connections are added to
// it.
struct ProcessDef {
  int16_t spid = 0;
  std::string status = "sleeping";
  std::string hostname;
  std::string program_name;
  std::string login;
  std::string database = "master";
  std::string net_address;
  std::string cmd = "AWAITING COMMAND";
};

struct Catalog {
  std::string server_name = "STANDIN";
  std::vector<LoginDef> logins;
  std::vector<Database> databases;  // in dbid order
  std::vector<ProcessDef> processes;
  int16_t next_dbid = 1;

  Database* FindDatabase(std::string_view database);
  LoginDef* FindLogin(std::string_view login);
  // Adds a database with the next dbid; the system databases come first in every catalogue.
  Database& AddDatabase(std::string name);
};

// The system databases every server has.
void AddSystemDatabases(Catalog& catalog);

// Splits a multi-part name ("dbo.MovCliente", "[db]..t") and returns its last part, unbracketed.
std::string LastNamePart(std::string_view name);

}  // namespace standin
