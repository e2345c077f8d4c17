#!/usr/bin/env bash
# Installs what is needed, builds, and starts the headless server on a copy of
# the demo data folder (demo/data). Stop it with Ctrl+C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

data=$(mktemp -d /tmp/dnc-demo.XXXXXX)
cp -r "$root/demo/data/." "$data/"
echo "Demo data folder: $data"
exec "$root/build/src/app/dncserver" --headless --data-dir "$data"
