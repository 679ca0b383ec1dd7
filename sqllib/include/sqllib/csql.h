// CSql: SQL Server access and administration. One shared instance (SharedCSql),
// created on first use and living until the program ends. The class keeps no state
// between calls: each operation works on the connection it is given or opens one of
// its own with the program-wide settings (gServer, gUID, gPwd, gIntegratedSecurity).
// Each area's operations live in their own source file under sqllib/src/.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/session.h"
#include "platform/variant.h"

class CSql {
 public:
  // ---- Connection and command execution (connection.cpp) ----

  // Configures the closed connection `connServer` and opens it: command and
  // connection time-outs of `lngTimeOut` seconds, the OLE DB connection string for
  // `Server` and `dDataBase` (SQL Server login `uID`, or integrated security as
  // `TipoAut` chooses: 0 follows gIntegratedSecurity, 1 SQL login, other values
  // integrated security), and `Pwd` handed to the open call. Returns true when
  // open; on any failure writes the error number and text to `errCode` and
  // `ErrDescription`, returns false and shows nothing. Names holding connection
  // string syntax (";", quotes) are quoted so that each stays one value.
  bool CreateDBConnection(platform::Connection& connServer, const std::string& Server,
                          const std::string& dDataBase, const std::string& uID, const std::string& Pwd,
                          std::int32_t lngTimeOut, std::int32_t& errCode, std::string& ErrDescription,
                          std::int16_t TipoAut = 0);

  // Runs `strSQL` in database `DBName` on a connection of its own (gServer, gUID,
  // gPwd, time-out 600). Returns the statement's result set, still readable, or
  // nothing when the connection failed (silently) or the statement failed (its
  // number and text shown in an error message box).
  std::optional<platform::Recordset> ExecutaSQL(const std::string& DBName, const std::string& strSQL);

  // ---- Schema inspection and change (schema.cpp) ----
  //
  // Each works on the open connection it is given and leaves it open. Table,
  // column and index names go into the statements as they are when they are
  // regular identifiers, so ordinary names give the classic texts word for word;
  // other names are bracketed (a name the caller qualified, "dbo.T", or bracketed
  // already keeps its meaning). Type texts and column lists are inserted as given.
  // The catalogue arguments are written as literals with apostrophes doubled, and
  // as LIKE patterns with "_", "%" and "[" escaped where the procedure matches
  // patterns, so "Mov_Cliente" never finds "MovXCliente".

  // True when the table exists ("sp_tables @table_name = '<strTable>'"). False when
  // it does not, when the statement fails or gives no result set.
  bool SQLCheckTable(platform::Connection& conn, const std::string& strTable);
  // True when the column exists ("sp_columns @table_name = ...,@COLUMN_NAME=...").
  bool SQLCheckField(platform::Connection& conn, const std::string& strTable, const std::string& strField);
  // True when the table has the index. Asks sp_indexes first; where the server
  // refuses it (201, sp_indexes wants a linked server) or it gives no result set,
  // looks the name up, without regard to case, in sp_helpindex. A missing table or
  // one without indexes gives false.
  bool SQLCheckIndex(platform::Connection& conn, const std::string& strTable,
                     const std::string& strIndexName);
  // Creates the table with the one column NumRegisto, numeric (18,0) identity
  // (1,1) not null, then makes it the non-clustered primary key PK_<strTable>.
  // False when either statement fails; the second is not sent when the first
  // fails, and a table whose key could not be added stays as it is.
  bool SQLCreateTable(platform::Connection& conn, const std::string& strTable);
  // " alter table <strTable> add <strField> <strTypes>": a variant holding true
  // when it ran, false when it failed.
  platform::Variant SQLAddField(platform::Connection& conn, const std::string& strTable,
                                const std::string& strField,
                                const std::string& strTypes = "nvarchar (10) null");
  // "CREATE [UNIQUE] INDEX [<strName>] on [dbo].[<strTable>] ( <strFields> ) ON
  // [PRIMARY]", with strFields a column list already formatted by the caller: a
  // variant holding true when it ran, false when it failed (duplicate keys under
  // blnUnique, an index of that name).
  platform::Variant SQLCreateIndex(platform::Connection& conn, const std::string& strName,
                                   const std::string& strTable, const std::string& strFields,
                                   bool blnUnique = false);
  // "Alter Table <Table> Drop Column <Column>". On failure returns false and writes
  // the error number and text to errC and errD; on success they keep what they held.
  bool SQLDropField(platform::Connection& connActiva, const std::string& Table, const std::string& Column,
                    std::int32_t& errC, std::string& errD);
  // The names of the fields of rstRecordset, in field order, each followed by
  // strFieldSep, without the last character (a whole character, even a multi-byte
  // one). A field whose upper-cased name occurs anywhere in the upper-cased
  // ExcludeFields is left out (a substring test); a blank ExcludeFields leaves none
  // out. Throws platform::Error: 5 (invalid procedure call) when no field is taken,
  // or the result set's own error when its fields cannot be read.
  std::string CreateFieldList(const platform::Recordset& rstRecordset, const std::string& strFieldSep = ",",
                              const std::string& ExcludeFields = "NumRegisto");

  // ---- Structure duplication (structure_script.cpp) ----

  // The script that creates strDestinTable with the columns, identity (numeric and
  // decimal columns), row-GUID column, column defaults and single-column primary
  // key of strTable, read from sp_help in strDatabase on a connection of its own
  // (strServer, strLogin, strPwd, time-out 90). Lines are separated by a carriage
  // return alone. A destination beginning with "#" gets constraint names built
  // from the clock. The script is only built, never run. When the connection
  // fails, shows gErrCode, a carriage return and gErrDescription in an error box
  // and returns "". Any later failure (no such table, a missing result set)
  // reaches the caller as platform::Error.
  std::string DuplicateStructure(const std::string& strServer, const std::string& strLogin,
                                 const std::string& strPwd, const std::string& strDatabase,
                                 const std::string& strTable, const std::string& strDestinTable);

  // ---- Stored procedure installation (procedures.cpp) ----

  // Drops every procedure that sp_stored_procedures lists for connActiva's
  // database (as [owner].[name]; those owned by sys or INFORMATION_SCHEMA and
  // functions are left alone), then runs each batch of strToCreate that creates
  // something, from its first CREATE onwards. Batches are separated by lines
  // holding exactly GO (CR LF, "GO", CR LF, or CR LF and "GO" at the very end;
  // LF alone counts as a line end too, as scripts written on Linux have it),
  // counted only outside strings, bracketed names and comments. Every failure is
  // ignored and the next step runs; the result is always an empty variant.
  platform::Variant CreateStoredProcedures(platform::Connection& connActiva, const std::string& strToCreate);

  // ---- Exclusive access and ownership (exclusive_access.cpp) ----
  //
  // Database and login names go into these statements through the quoting helpers:
  // bracketed where a name stands, as a literal where a value stands.

  // Hands the database of connToDataBase (named strDbName) to the login NewOwner.
  // Does nothing and returns false when NewOwner equals LoginName (lower-cased and
  // trimmed) or when sp_helpuser shows NewOwner owning it already (its dbo row).
  // For master, model, msdb and tempdb the owner is never changed and the result
  // is true. Otherwise, when NewOwner has a user in the database, that user is
  // dropped first ("sp_dropuser '<user>'"), then "sp_changedbowner '<NewOwner>'"
  // runs, with NewOwner trimmed as it was compared; true. Any failure stops the
  // operation, shows the error number, " - " and the text in an error box, and
  // gives false; a user already dropped stays dropped.
  bool ChangeDatabaseOwner(platform::Connection& connToDataBase, const std::string& strDbName,
                           const std::string& LoginName = "", const std::string& NewOwner = "SA");

  // True when DBName can be put in single-user mode: switches it on and off again.
  // Uses sp_dboption where the server has it; where the server no longer does
  // (2812), "ALTER DATABASE [<DBName>] SET SINGLE_USER WITH NO_WAIT" and
  // "... SET MULTI_USER", which fail, as the procedure did, while others use the
  // database. On failure returns false with the error number and text in
  // ErrorCode and ErrorDescription; when the switch back fails the database stays
  // in single-user mode.
  bool TrySingleUserMode(platform::Connection& connConnection, const std::string& DBName);
  bool TrySingleUserMode(platform::Connection& connConnection, const std::string& DBName,
                         std::int32_t& ErrorCode, std::string& ErrorDescription);
  // Switches single-user mode of DBName on (Setting true) or off, as
  // TrySingleUserMode does each step. True when set; on failure false with the
  // error number and text in ErrorCode and ErrorDescription. Nothing is shown.
  bool SetSingleUserMode(platform::Connection& connConnection, const std::string& DBName, bool Setting,
                         std::int32_t& ErrorCode, std::string& ErrorDescription);
  // Ends every server process of this workstation whose current database is
  // DatabaseName ("Kill <spid>" for each). The workstation is the name stored in the
  // per-user settings (section "MachineName", key "Name"), trimmed, or else
  // EDiv::GetMachineName, which is the host name the driver sends at login. An
  // empty workstation name kills nothing. Opens its own connection to master
  // (gServer, gUID, gPwd, time-out 600); when that fails shows gErrCode, a carriage
  // return and gErrDescription in an error box. Every later failure is skipped.
  void KillAllProcessesInCurrentMachine(const std::string& DatabaseName);

  // ---- Sessions and record locks (locks.cpp) ----
  //
  // The advisory lock of a table T is its companion table T_ with one row, updated
  // by a transaction left open on a connection. The lock operations work on the
  // connection the caller hands over, open on the database that holds the tables:
  // that connection holds the lock, so it must stay open from ActivaLock to
  // DesActivaLock, and closing it releases the lock. One connection holds at most
  // one lock: ActivaLock refuses (false) while a transaction is open on it, so
  // taking a lock never ends another one; hold each further table's lock on a
  // connection of its own.

  // True when login uID has three or more server processes with a network address
  // (the login compared without regard to case, as the server upper-cases it).
  // Opens its own connection to master (gServer, gUID, gPwd, time-out 600); false
  // when that fails. When the login has no process, RetInfo (if given) is emptied.
  // A failing query shows its number, a carriage return and its text in an error
  // box and gives false.
  bool isLoggedOn(const std::string& uID);
  bool isLoggedOn(const std::string& uID, std::string& RetInfo);
  // Takes the lock of strTabela on conn: drops any companion table left over,
  // creates T_ with its column XXX and one row, begins a transaction and updates
  // the row. True only when the lock is held. False, with the transaction rolled
  // back and nothing shown, when a transaction is already open on conn, when T_
  // cannot be dropped, made or filled (another workstation's lock holds it), or
  // when the transaction cannot begin or the update changes no row.
  bool ActivaLock(platform::Connection& conn, const std::string& strTabela);
  // Releases the lock of strTable on conn: drops T_ when it exists and commits the
  // transaction. Every failure is skipped; the result is always an empty variant.
  platform::Variant DesActivaLock(platform::Connection& conn, const std::string& strTabela);
  // True when no server process holds a lock on T_ in conn's current database,
  // false when one does (conn's own lock included). Reads sp_lock and names each
  // locked object of the current database with object_name. A failing statement
  // reaches the caller as platform::Error.
  bool SQLCheckLock(platform::Connection& conn, const std::string& strTable);

  // ---- Databases (databases.cpp) ----
  //
  // Both open their own connection to master (gServer, gUID, gPwd, time-out 600),
  // whose failure leaves its number and text in gErrCode and gErrDescription.

  // True when a database named DBName exists, compared without regard to case as
  // the server upper-cases names. When the server cannot be reached: false with
  // ByRefNaoSeSabe true. A missing database: false with ByRefNaoSeSabe false.
  // When the database exists ByRefNaoSeSabe keeps its value. A failing query
  // reaches the caller as platform::Error.
  bool CheckDatabase(const std::string& DBName);
  bool CheckDatabase(const std::string& DBName, bool& ByRefNaoSeSabe);
  // Drops the database DBName ("drop database <DBName>", the name bracketed when
  // it is no regular identifier) and, when Codigo is not empty, then deletes its
  // row from quindorconfig's empresas table. With a code, the configuration table
  // is checked first, so nothing is dropped when its row could not be deleted.
  // True when every step succeeded. A failed connection shows gErrCode, a
  // carriage return and gErrDescription; any later failure shows the server's
  // number and text; both give false. The busy pointer is shown meanwhile.
  bool DeleteDatabase(const std::string& DBName, const std::string& Codigo = "");

  // ---- Logins (logins.cpp) ----
  //
  // Names and passwords go into the statements as literals with apostrophes
  // doubled, and no message box ever shows a password: where the server's error
  // text quotes one, it is masked.

  // Creates the login uID with password Pwd (sp_addlogin), its user of the same
  // name in master (sp_adduser) and its membership of the fixed server role of
  // index ROLE, 0 to 6 (sp_addsrvrolemember; another index names no role and the
  // server refuses it). A blank Pwd shows "A Password tem que ser preenchida !" and
  // sends nothing. A failure stops at that step, shows the error box and returns
  // false; the steps already done stay (a login whose role step failed is kept).
  bool CreateLogin(const std::string& uID, const std::string& Pwd, std::int32_t ROLE);
  // Drops the login UIDtoDelete (sp_droplogin); a login that is not there counts as
  // dropped. When gUID is no sysadmin (or that cannot be told), shows "Sem Permissão
  // para eliminar o Utilizador" and returns false. False as well, with nothing
  // shown, when the server refused the drop (logged in, owner of a database, users
  // left in databases on servers before 2005).
  bool DeleteLogin(const std::string& UIDtoDelete);
  // Sets a password with sp_password: with a blank oldPWD, newPWD for uID without
  // the old one; with UseLoginName, uID's password from oldPWD to newPWD; otherwise
  // the library's own login's (gUID, whose gPwd is not updated). A failure shows
  // the error number immediately followed by its text, without icon; false.
  bool ChangePassword(const std::string& uID, const std::string& oldPWD, const std::string& newPWD,
                      bool UseLoginName = false);
  // True when uID and Pwd open a connection to DBName on gServer (time-out 15; an
  // empty DBName opens the login's default database). A refused login gives false
  // and nothing is shown, whatever ShowMsg says; a failure after connecting is
  // shown in the error box when ShowMsg is true.
  bool ValidateLogin(const std::string& uID, const std::string& Pwd, const std::string& DBName = "master",
                     bool ShowMsg = true);

  // ---- Roles and privileges (roles.cpp) ----
  //
  // Server roles by index: 0 sysadmin, 1 serveradmin, 2 setupadmin, 3
  // securityadmin, 4 processadmin, 5 dbcreator, 6 diskadmin. Database roles: 0
  // db_owner, 1 db_accessadmin, 2 db_datareader, 3 db_datawriter, 4 db_ddladmin, 5
  // db_securityadmin, 6 db_backupoperator, 7 db_denydatareader, 8
  // db_denydatawriter. Another index names no role, which the server refuses.

  // True when uID (gUID when uID and Pwd are both empty) is listed by
  // sp_helpsrvrolemember 'sysadmin', names compared without case and surrounding
  // blanks; membership through a Windows group is not seen. With
  // gIntegratedSecurity, gIsSysAdmin without asking. Throws platform::Error when
  // the connection or the query fails.
  bool ValidarLoginSysAdmin(std::string uID = {}, std::string Pwd = {});
  // Adds uID to the server role ROLE when Accao is 1, removes it otherwise. When
  // gUID is no sysadmin, shows "Sem Permissão para executar esta operação" and
  // returns false. A failure shows the error number immediately followed by its
  // text, without icon; false.
  bool SetServerRoleMember(const std::string& uID, std::int32_t ROLE, std::int32_t Accao);
  // The same for user uID and the database role ROLE in DBName.
  bool SetDBRoleMember(const std::string& DBName, const std::string& uID, std::int32_t ROLE,
                       std::int32_t Accao);
  // True when the login of connActiva is a sysadmin as the server evaluates it
  // (IS_SRVROLEMEMBER, groups included). Throws platform::Error on failure.
  bool SQL_CheckLoginSysAdmin(platform::Connection& connActiva);
  // The login name of connActiva (SUser_SName()), and in ByRefAccountName the
  // Windows account xp_logininfo gives for it. Each is empty when it cannot be
  // read (for a SQL login the account name always is); nothing is shown or thrown.
  std::string SQL_GetLoginName(platform::Connection& connActiva);
  std::string SQL_GetLoginName(platform::Connection& connActiva, std::string& ByRefAccountName);

  // ---- Database users and access (users.cpp, users_all_databases.cpp) ----
  //
  // Each opens a connection of its own to the database with gServer, gUID, gPwd.

  // Gives login uID a user in DBName (sp_grantdbaccess) and puts it in
  // db_datawriter, db_datareader and db_owner. False when the connection did not
  // open or the grant was refused; a user that exists already counts as granted,
  // and the roles are added in either case. Nothing is shown.
  bool GrantAcess(const std::string& DBName, const std::string& uID);
  // Removes login uID's user from DBName (sp_revokedbaccess), then asks for its
  // removal from the three roles, which the server refuses and is ignored. False
  // when the connection did not open or the revoke was refused; a user that is not
  // there counts as removed. Nothing is shown.
  bool RevokeAccess(const std::string& DBName, const std::string& uID);
  // Drops user uID from DBName (sp_dropuser); false and true as RevokeAccess.
  bool DropUserFromDB(const std::string& DBName, const std::string& uID);
  // True when DBName has a user named uID whose login is uID (names compared
  // without case and surrounding blanks); false on any failure, silently.
  bool CheckUserInDB(const std::string& DBName, const std::string& uID);
  // For every database of the server that opens: hands it to the owner SA
  // (ChangeDatabaseOwner; system databases keep theirs) and drops the user of
  // login uID there. Info, when given, receives each database's name as work
  // starts on it. Every failure is skipped; the result is always false.
  bool DeleteUserFromAllDatabases(const std::string& uID,
                                  const std::function<void(const std::string&)>& Info = {});

  // ---- Column type change (column_change.cpp) ----

  // Sends " alter table <strTable> ALTER COLUMN <strField> <strTypes>" on the open
  // connection `conn`, the names written as the schema changes above write them.
  // A variant holding true when it ran, false when it failed; nothing is shown and
  // the error is not handed back.
  platform::Variant SQLChangeField(platform::Connection& conn, const std::string& strTable,
                                   const std::string& strField,
                                   const std::string& strTypes = "nvarchar (10) null");
};

// The shared instance, created on first call.
CSql& SharedCSql();
