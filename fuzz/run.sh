#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, -DWA_FUZZ=ON) and either replays the
# corpus kept in fuzz/corpus/ (each input run once) or fuzzes one target.
#
#   bash fuzz/run.sh replay [build-dir]                  every target on its corpus
#   bash fuzz/run.sh fuzz TARGET SECONDS [build-dir]     TARGET: freeform, edit or run
#
# A fuzzing session works on a copy of the corpus in the build folder; new
# inputs stay there (fold the useful ones into fuzz/corpus/TARGET by hand, a
# few dozen at most). A finding is written as crash-*/timeout-* in the
# current folder and the script fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets=(freeform edit run)

build() {
  local dir="$1"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ -DWA_FUZZ=ON >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null
}

mode="${1:-}"
case "$mode" in
  replay)
    dir="${2:-$root/build-fuzz}"
    build "$dir"
    for t in "${targets[@]}"; do
      files=("$root/fuzz/corpus/$t"/*)
      echo "fuzz_$t: replaying ${#files[@]} inputs"
      "$dir/fuzz/fuzz_$t" "${files[@]}" >"$dir/fuzz_$t.replay.log" 2>&1 ||
        { tail -n 60 "$dir/fuzz_$t.replay.log" >&2; echo "fuzz_$t: replay failed" >&2; exit 1; }
    done
    ;;
  fuzz)
    t="${2:?target}"
    seconds="${3:?seconds}"
    dir="${4:-$root/build-fuzz}"
    build "$dir"
    work="$dir/corpus/$t"
    mkdir -p "$work"
    "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=120 -rss_limit_mb=4096 -max_len=16384 \
      -print_final_stats=1 "$work" "$root/fuzz/corpus/$t"
    ;;
  *)
    sed -n '2,11p' "$0" >&2
    exit 2
    ;;
esac
