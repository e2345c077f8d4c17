#!/usr/bin/env bash
# Installs what is needed, builds, and shows a real transfer without hardware:
# the machine simulator (dnc-sim) plays a CNC control on a pseudo-terminal,
# the headless server serves it from a copy of the demo data folder
# (demo/data). The control asks for O1000 with a get request, gives its start
# signal (DC1) and receives the program; the server then waits for the next
# request until you press Ctrl+C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

data=$(mktemp -d /tmp/dnc-demo.XXXXXX)
cp -r "$root/demo/data/." "$data/"
line="$data/ttyDEMO"
# The machine's COM1 is the simulator's pseudo-terminal; programs are read
# from and saved to the demo folder.
sed -i "s|^\[DUREravur\]|[DUREravur]\nCom1=$line|" "$data/DNC.ini"
sed -i "s|^\[Mill 1\]|[Mill 1]\nDefaultDir=$data/\nDefaultSaveDir=$data/|" "$data/DNC.ini"
echo "Demo data folder: $data"

server_pid=
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill -TERM "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# The control: wait for the server, send a get request for O1000 ended by
# DC4, then give the start signal and receive the program at 9600 baud.
"$root/build/tools/dnc-sim/dnc-sim" --link "$line" --baud 9600 \
  --buffer 256 --output "$data/received-by-machine.nc" --idle 5000 --timeout 120 \
  --sleep 1500 --send-text '%\n(G*O1000)\n%\n\x14' --sleep 500 --dc1 \
  > "$data/dnc-sim.txt" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$line" ] && break; sleep 0.1; done

"$root/build/src/app/dncserver" --headless --data-dir "$data" &
server_pid=$!

wait "$sim_pid" || true
sim_pid=
echo "--- the simulated control received (summary from dnc-sim) ---"
cat "$data/dnc-sim.txt"
echo "--- program as the machine received it: $data/received-by-machine.nc ---"
echo "The server keeps serving; press Ctrl+C to stop it."
wait "$server_pid"
