#!/bin/bash
# Runs tedious_client_test.js against a stand-in of its own. tedious is installed with npm into SCRATCH once;
# without npm (or node) the test is skipped (exit 77).
# Usage: tedious_client_test.sh STANDIN_BINARY DEMO_SCENARIO SCRATCH
set -u
source "$(dirname "$0")/start_standin.sh"
binary=$1
scenario=$2
scratch=$3
here=$(cd "$(dirname "$0")" && pwd)
command -v npm >/dev/null && command -v node >/dev/null || { echo "npm or node not installed: skipped"; exit 77; }
mkdir -p "$scratch"
if [ ! -d "$scratch/node_modules/tedious" ]; then
  (cd "$scratch" && npm install --no-audit --no-fund --silent tedious >npm.log 2>&1) ||
    { echo "npm install tedious failed:"; cat "$scratch/npm.log"; exit 1; }
fi
work=$(mktemp -d)
trap 'exec 3>&-; wait; rm -rf "$work"' EXIT
# The server stops when this script closes descriptor 3.
start_standin --scenario "$scenario"
cd "$scratch" && node "$here/tedious_client_test.js" "$port"
