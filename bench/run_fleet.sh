#!/usr/bin/env bash
# The fleet benchmark: the conversion run and a hand-written bsqldb loop over
# generated fleets of 10, 100 and 1000 company databases on the stand-in.
# Usage: bench/run_fleet.sh BUILD_DIR [--standin STANDIN_BINARY] [N ...]
# BUILD_DIR must hold bench/fleet_client and, unless --standin names another,
# standin/standin (cmake --build BUILD_DIR --target fleet_client standin).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if (($# < 1)); then
  sed -n '2,7s/^# \{0,1\}//p' "$0" >&2
  exit 64
fi
build=$1
[[ -x $build/bench/fleet_client ]] || {
  echo "run_fleet.sh: no $build/bench/fleet_client; build the fleet_client target first" >&2
  exit 2
}
command -v bsqldb >/dev/null || {
  echo "run_fleet.sh: bsqldb not found (FreeTDS's freetds-bin)" >&2
  exit 2
}
exec python3 "$here/fleet_bench.py" "$@"
