#!/usr/bin/env bash
# Builds the programs and runs one of them (Ivra by default, or Kelto) on the
# bundled example in examples/, answering the dialogue from examples/answers.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-Ivra}"
case "$program" in
  Ivra) binary=build/ivra/Ivra ;;
  Kelto) binary=build/kelto/Kelto ;;
  *) echo "usage: $0 [Ivra|Kelto]" >&2; exit 2 ;;
esac
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target "$program" >/dev/null
(cd examples && "../$binary" < answers.txt)
echo "Output written to examples/$program.dat"
