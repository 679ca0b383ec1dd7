#!/usr/bin/env bash
# The main job, shown against the stand-in: starts the SQL Server stand-in with its
# demo fleet of company databases, runs the conversion through the command line,
# prints the outcome and what became of each database, then stops the stand-in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
BUILD_DIR=$build TARGETS="--target standin tavinor-convert" "$root/scripts/build.sh"

scenario=${1:-$root/standin/scenarios/demo.json}
out=$(mktemp)
trap 'kill "$standin_pid" 2>/dev/null || true; rm -f "$out"' EXIT
"$build/standin/standin" --port 0 --control-port 0 --scenario "$scenario" >"$out" &
standin_pid=$!
for _ in $(seq 50); do [[ -s $out ]] && break; sleep 0.1; done
read -r _ address _ control_port <"$out"
port=${address##*:}
echo "== SQL Server stand-in on 127.0.0.1:$port with $(basename "$scenario")"
# Runs the conversion with the given extra options, then prints what became of
# each company database, read from the stand-in.
convert() {
  echo "== tavinor-convert --server 127.0.0.1,$port --login sa --password-stdin $*"
  local status=0
  printf '%s\n' 'Tavinor#2024' |
    "$build/app/tavinor-convert" --server "127.0.0.1,$port" --login sa --password-stdin "$@" 2>&1 || status=$?
  echo "== exit status $status (0 nothing failed, 1 a database's change failed, 2 a connection failed)"
  echo "== MovCliente.DataSys afterwards, read from the stand-in"
  python3 - "$control_port" "$@" <<'PY'
import json, socket, sys
control = socket.create_connection(("127.0.0.1", int(sys.argv[1]))).makefile("rw")
def ask(command):
    control.write(command + "\n"); control.flush()
    return json.loads(control.readline().split(" ", 1)[1])
for name in ask("DATABASES"):
    if not name.lower().startswith("parvimar"):
        continue
    tables = {t["name"].lower(): t for t in ask("STATE " + name)["tables"]}
    table = tables.get("movcliente")
    if table is None:
        print(f"  {name:<14} no MovCliente table")
        continue
    column = next(c for c in table["columns"] if c["name"].lower() == "datasys")
    depends = [i["name"] for i in table["indexes"] if any(k.split()[0].lower() == "datasys" for k in i["keys"])]
    depends += [s["name"] for s in table["statistics"] if "DataSys" in s["columns"]]
    depends += [c["name"] for c in table["constraints"] if "DataSys" in c.get("columns", [])]
    print(f"  {name:<14} {column['type']:<14} dependents on DataSys: {', '.join(depends) or 'none'}")
PY
  return "$status"
}

status=0
convert || status=$?
((status <= 2)) || exit "$status"
# The same fleet again, as loaded, keeping what depends on DataSys: Parvimar06,
# whose DataSys default is not the first constraint row, converts too, and the
# converted databases keep their indexes, statistics and default.
printf 'RESET\n' | python3 -c '
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.sendall(sys.stdin.buffer.read()); s.makefile().readline()' "$control_port"
echo
convert --keep-dependents || status=$?
((status <= 2))
