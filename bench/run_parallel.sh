#!/usr/bin/env bash
# The parallel benchmark: tavinor-convert --jobs 1..16 over generated fleets of
# 100 and 1000 databases on a stand-in with 2 ms of latency per request, and the
# largest fleet spread over four stand-ins through --servers-file.
# Usage: bench/run_parallel.sh BUILD_DIR [--latency MS] [N ...]
# BUILD_DIR must hold app/tavinor-convert and standin/standin.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if (($# < 1)); then
  sed -n '2,6s/^# \{0,1\}//p' "$0" >&2
  exit 64
fi
[[ -x $1/app/tavinor-convert && -x $1/standin/standin ]] || {
  echo "run_parallel.sh: build the tavinor-convert and standin targets in $1 first" >&2
  exit 2
}
exec python3 "$here/parallel_bench.py" "$@"
