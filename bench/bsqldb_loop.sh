#!/usr/bin/env bash
# The conversion as a DBA would script it by hand with FreeTDS's bsqldb: one run
# on master for the list of company databases, then per database one run of the
# type query and the three sp_help procedures (bsqldb_inspect.sql), whose output
# bsqldb_fix.awk turns into the drops and the ALTER, and, when there is something
# to change, one run of that script.
# Usage: bsqldb_loop.sh HOST:PORT LOGIN   (password: first line of stdin)
# Prints one line: "databases N detected D failed F".
set -uo pipefail
server=$1
login=$2
IFS= read -r password
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sql() {  # sql DATABASE [bsqldb options...]: statements on stdin or with -i
  local database=$1
  shift
  bsqldb -S "$server" -U "$login" -P "$password" -D "$database" "$@"
}

echo "Select name from sysdatabases where name like 'Parvimar%'" |
  sql master -q -t '\t' >"$work/databases" 2>/dev/null || {
  echo "bsqldb_loop: cannot list the databases on $server" >&2
  exit 2
}

databases=0 detected=0 failed=0
while IFS= read -r database; do
  databases=$((databases + 1))
  # A failing procedure (no MovCliente table, say) still leaves the other result
  # sets to read, so the inspection's exit status is not a reason to stop.
  sql "$database" -h -t '\t' -i "$here/bsqldb_inspect.sql" 2>/dev/null |
    awk -f "$here/bsqldb_fix.awk" >"$work/fix.sql"
  [[ -s $work/fix.sql ]] || continue
  detected=$((detected + 1))
  sql "$database" -i "$work/fix.sql" >/dev/null 2>&1 || failed=$((failed + 1))
done <"$work/databases"
echo "databases $databases detected $detected failed $failed"
