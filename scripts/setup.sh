#!/usr/bin/env bash
# Installs the build and test tools when they are missing (Debian, as root or
# via sudo, without prompts): cmake, g++, GoogleTest, Google Benchmark, and
# clang with its libFuzzer and sanitizer run-times for the fuzz targets.
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)

# clang must be able to link a fuzz target, which needs its run-time library.
fuzzer_links() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local dir
  dir="$(mktemp -d)"
  printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
    'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' >"$dir/t.cpp"
  local ok=0
  clang++ -fsanitize=fuzzer,address,undefined "$dir/t.cpp" -o "$dir/t" >/dev/null 2>&1 || ok=1
  rm -rf "$dir"
  return $ok
}
fuzzer_links || need+=(clang libclang-rt-dev)

if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q </dev/null
  $SUDO apt-get install -y -q --no-install-recommends "${need[@]}" </dev/null
fi
