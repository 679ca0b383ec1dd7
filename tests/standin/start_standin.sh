# Sourced by the client test scripts: start_standin ARGUMENTS... starts the stand-in
# with --port 0 --stdin-lifetime and ARGUMENTS, its output in $work/port, and sets
# $port to the port it listens on (exits 1 when it never says). The server stops
# when the script closes descriptor 3, as the scripts' EXIT traps do.
start_standin() {
  exec 3> >("$binary" --port 0 --stdin-lifetime "$@" > "$work/port")
  for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
  done
  port=$(sed -n 's/^listening 127\.0\.0\.1:\([0-9]*\) control.*/\1/p' "$work/port")
  [ -n "$port" ] || { echo "no port line from the stand-in"; exit 1; }
}
