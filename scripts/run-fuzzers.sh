#!/usr/bin/env bash
# Runs every fuzz target in a build folder for a few seconds each.
# Usage: scripts/run-fuzzers.sh <build-dir> <seconds>
set -euo pipefail
build=$1
seconds=${2:-20}
shopt -s nullglob
found=0
for f in "$build"/tests/fuzz/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  found=1
  name=$(basename "$f")
  echo "-- $name for ${seconds}s"
  corpus=$(mktemp -d)
  "$f" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
[ "$found" = 1 ] || echo "no fuzz targets"
