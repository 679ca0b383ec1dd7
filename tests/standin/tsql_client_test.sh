#!/bin/bash
# Checks the stand-in with FreeTDS's tsql, a client written outside this project: login, the conversion run's
# catalogue queries and procedures, and the numbers of errors and messages as tsql prints them.
# Usage: tsql_client_test.sh STANDIN_BINARY DEMO_SCENARIO
set -u
source "$(dirname "$0")/start_standin.sh"
binary=$1
scenario=$2
unset TDSVER TDSPORT TDSHOST
work=$(mktemp -d)
trap 'exec 3>&-; wait; rm -rf "$work"' EXIT

# The server stops when this script closes descriptor 3.
start_standin --scenario "$scenario"

failures=0
run() {  # run DATABASE PASSWORD <<< statements; output in $work/out
  tsql -H 127.0.0.1 -p "$port" -U sa -P "$2" -D "$1" -o q > "$work/out" 2>&1
}
expect() {  # expect LABEL TEXT: the last output contains TEXT
  if ! grep -qF -- "$2" "$work/out"; then
    echo "FAIL: $1: expected '$2' in:"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  fi
}

run master 'Tavinor#2024' <<'SQL'
Select name from sysdatabases where name like 'Parvimar%'
go
select * from NaoExiste
go
sp_naoexiste 1
go
SQL
expect "database list" "Parvimar06"
expect "unknown table" "Msg 208 (severity 16, state 1)"
expect "unknown table text" "Invalid object name 'NaoExiste'."
expect "unknown procedure" "Msg 2812 (severity 16, state 62)"

run Parvimar01 'Tavinor#2024' <<'SQL'
Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'
go
sp_helpindex movcliente
go
sp_helpconstraint 'MovCliente'
go
 alter table MovCliente ALTER COLUMN DataSys datetime null
go
SQL
expect "type query" "smalldatetime"
expect "index keys" "IX_MovCliente_Registo	nonclustered located on PRIMARY	NumRegisto, DataSys"
expect "constraint row" "DEFAULT on column DataSys	DF_MovCliente_DataSys"
expect "no foreign keys message" "Msg 15470 (severity 0"
expect "dependent index" "Msg 5074 (severity 16, state 1)"
expect "alter refused" "Msg 4922 (severity 16, state 9)"
expect "alter refused text" "ALTER TABLE ALTER COLUMN DataSys failed because one or more objects access this column."

run Parvimar03 'Tavinor#2024' <<'SQL'
sp_helpstats movcliente
go
SQL
expect "no statistics message" "Msg 15574 (severity 0, state 1)"

run master 'errada' <<'SQL'
select 1
go
SQL
expect "wrong password" "Msg 18456 (severity 14, state 1)"
expect "wrong password text" "Login failed for user 'sa'."

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "tsql checks passed"
