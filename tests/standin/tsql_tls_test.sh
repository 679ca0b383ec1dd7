#!/bin/bash
# FreeTDS's tsql, a client written outside this project, logs in to the stand-in over TLS: a server that requires
# encryption, a client that requires it and validates the certificate against the test CA. A client that turns
# encryption off is refused, and one that trusts another CA fails the handshake.
# Usage: tsql_tls_test.sh STANDIN_BINARY DEMO_SCENARIO CERTIFICATE_SCRIPT
set -u
source "$(dirname "$0")/start_standin.sh"
binary=$1
scenario=$2
make_certificates=$3
unset TDSVER TDSPORT TDSHOST
work=$(mktemp -d)
trap 'exec 3>&-; wait; rm -rf "$work"' EXIT
"$make_certificates" "$work/certs" || { echo "openssl could not make the test certificates"; exit 1; }

start_standin --scenario "$scenario" --log "$work/log" \
  --tls-cert "$work/certs/server.pem" --tls-key "$work/certs/server.key" --require-encryption

failures=0
run() {  # run ENCRYPTION CA_FILE <<< statements; output in $work/out
  printf '[global]\n\ttds version = 7.4\n\tencryption = %s\n\tca file = %s\n' "$1" "$2" > "$work/freetds.conf"
  FREETDSCONF="$work/freetds.conf" tsql -H 127.0.0.1 -p "$port" -U sa -P 'Tavinor#2024' -o q > "$work/out" 2>&1
}
check() {  # check LABEL yes|no TEXT: the last output holds TEXT (yes) or does not (no)
  if grep -qF -- "$3" "$work/out"; then found=yes; else found=no; fi
  if [ "$found" != "$2" ]; then
    echo "FAIL: $1: expected '$3' $([ "$2" = yes ] && echo in || echo "not in"):"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  fi
}

run require "$work/certs/ca.pem" <<'SQL'
Select name from sysdatabases where name like 'Parvimar%'
go
SQL
check "login over TLS" yes "Parvimar06"
if ! grep -q '"kind":"encryption".*"text":"full"' "$work/log"; then
  echo "FAIL: the stand-in did not log a fully encrypted session:"
  sed 's/^/    /' "$work/log"
  failures=$((failures + 1))
fi

run off "$work/certs/ca.pem" <<'SQL'
Select name from sysdatabases where name like 'Parvimar%'
go
SQL
check "encryption off is refused" no "Parvimar06"

run require "$work/certs/other-ca.pem" <<'SQL'
Select name from sysdatabases where name like 'Parvimar%'
go
SQL
check "another CA is refused" no "Parvimar06"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "tsql TLS checks passed"
