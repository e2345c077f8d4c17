#!/usr/bin/env bash
# Configures and builds into a build folder (default: build/).
# Usage: scripts/build.sh [build-dir] [extra cmake options...]
# DNC_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
shift || true
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
targets=()
for t in ${DNC_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
