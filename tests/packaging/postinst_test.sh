#!/usr/bin/env bash
# Usage: postinst_test.sh POSTINST
# Runs the Debian package's postinst against a scratch odbcinst.ini (ODBCSYSINI),
# never the machine's: it must register FreeTDS with the installed driver when no
# entry exists, and leave an existing entry and a second run alone.
set -euo pipefail
postinst=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ODBCSYSINI=$scratch
: >"$scratch/odbcinst.ini"

fail() { echo "postinst: $*" >&2; exit 1; }

driver=$(dpkg-query -L tdsodbc | grep -m1 '/libtdsodbc\.so$')

sh "$postinst" configure
odbcinst -q -d -n FreeTDS >/dev/null || fail "FreeTDS not registered"
grep -qx "Driver=$driver" "$scratch/odbcinst.ini" || fail "FreeTDS registered without Driver=$driver"

sh "$postinst" configure
[[ $(grep -c '^\[FreeTDS\]' "$scratch/odbcinst.ini") -eq 1 ]] || fail "a second run registered FreeTDS again"
grep -q '^UsageCount=1$' "$scratch/odbcinst.ini" || fail "a second run changed the usage count"

# An administrator's own entry (another driver path) is kept as it is.
printf '[FreeTDS]\nDriver=/opt/freetds/lib/libtdsodbc.so\n' >"$scratch/odbcinst.ini"
sh "$postinst" configure
grep -qx 'Driver=/opt/freetds/lib/libtdsodbc.so' "$scratch/odbcinst.ini" || fail "an existing entry was replaced"

# Only "configure" registers (not abort-upgrade and the like).
: >"$scratch/odbcinst.ini"
sh "$postinst" abort-upgrade
! odbcinst -q -d -n FreeTDS >/dev/null 2>&1 || fail "registered on abort-upgrade"
