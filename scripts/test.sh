#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, the stand-in's tests,
# end-to-end tests through unixODBC + FreeTDS against the stand-in, the window's
# tests on Qt's offscreen platform.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh" "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-$root/build}" --output-on-failure -j2 --timeout 300
