#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test through CTest:
#   1. the normal build, all tests;
#   2. a ThreadSanitizer build of the concurrency-heavy tests;
#   3. every libFuzzer target for a short run (clang, AddressSanitizer+UBSan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

jobs=$(nproc)

echo "== build and test =="
"$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== ThreadSanitizer =="
DNC_TARGETS="test_comm test_engine test_remote" \
  "$root/scripts/build.sh" "$root/build-tsan" -DDNC_SANITIZE_THREAD=ON -DDNC_BUILD_BENCH=OFF
TSAN_OPTIONS="suppressions=$root/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir "$root/build-tsan" --output-on-failure -j"$jobs" -L concurrency

echo "== fuzz targets =="
CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" \
  -DDNC_FUZZ=ON -DDNC_SANITIZE_ADDRESS=ON -DDNC_BUILD_BENCH=OFF -DDNC_BUILD_TESTS=OFF
"$root/scripts/run-fuzzers.sh" "$root/build-fuzz" "${DNC_FUZZ_SECONDS:-20}"
