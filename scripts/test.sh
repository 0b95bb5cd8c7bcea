#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the normal build, a replay
# of the fuzz corpus (every input of fuzz/corpus/ run once), and the same
# suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
bash scripts/setup.sh

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== fuzz corpus replay"
bash fuzz/run.sh replay "$PWD/build-fuzz"

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release -DWA_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
