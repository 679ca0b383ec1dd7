#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $BUILD_DIR) and runs
# each for SECONDS (default 30), one after the other. New inputs that reach new
# code are kept in fuzz/corpus/<target>/, merged down to the smallest set that
# reaches the same code.
# A crash, a hang or a broken property stops the script; the input that did it is
# left in the build folder as crash-*, timeout-* or leak-*. FUZZ_TARGETS="a b"
# runs only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
seconds=${1:-30}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

# Only the libraries the targets need: no window, no tests.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTAVINOR_FUZZ=ON -DTAVINOR_BUILD_GUI=OFF -DTAVINOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz

targets=${FUZZ_TARGETS:-$(cd "$build/fuzz" && ls fuzz_* | sed 's/^fuzz_//')}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in $targets; do
  corpus=$root/fuzz/corpus/$target
  fresh=$build/fuzz/new-$target
  mkdir -p "$corpus" "$fresh"
  echo "== $target (${seconds}s)"
  # New inputs go to a scratch folder first; the merge copies into the kept corpus
  # only those that add coverage.
  log=$build/fuzz/$target.log
  if ! (cd "$build/fuzz" && nice -n 19 "./fuzz_$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 "$fresh" "$corpus" >"$log" 2>&1); then
    tail -n 60 "$log" >&2
    echo "fuzz_$target failed; the input is in $build/fuzz" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
  # The kept corpus is rebuilt as the smallest set that reaches the same edges
  # (hit counts left aside, which keeps it a few hundred files).
  # Named seeds (seed-*, regression-*) stay whatever they add, and their hash-named
  # copies from the merge are dropped.
  merged=$build/fuzz/merged-$target
  rm -rf "$merged" && mkdir -p "$merged"
  (cd "$build/fuzz" && nice -n 19 "./fuzz_$target" -merge=1 -use_counters=0 "$merged" "$corpus" "$fresh" >/dev/null 2>&1)
  find "$corpus" -type f ! -name 'seed-*' ! -name 'regression-*' -delete
  cp -n "$merged"/* "$corpus"/ 2>/dev/null || true
  for named in "$corpus"/seed-* "$corpus"/regression-*; do
    if [[ -e $named ]]; then rm -f "$corpus/$(sha1sum "$named" | cut -d' ' -f1)"; fi
  done
  rm -rf "$fresh" "$merged"
done
