#!/usr/bin/env bash
# Builds the fuzzers of the table engine and of the back office's readings with clang into
# build-fuzz and runs them.
#   scripts/fuzz.sh regress                every input of every corpus once (CI does this)
#   scripts/fuzz.sh SECONDS [table|journal|history] [libFuzzer options]
#                                          fuzzes one target that long; new inputs go to
#                                          build-fuzz/corpus-TARGET, crashes to build-fuzz/crashes
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
targets=(table journal history)

"$root/scripts/deps.sh"
CXX=clang++ CC=clang cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNEL_FUZZ=ON -DBUILD_TESTING=OFF -DVARNEL_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

options=(-rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 -max_len=8192)
mode="${1:-regress}"
if [ "$mode" = regress ]; then
  for target in "${targets[@]}"; do
    "$build/fuzz/fuzz_$target" "${options[@]}" -runs=0 "$root/fuzz/corpus-$target"
  done
else
  target="${2:-table}"
  shift 2 || shift
  mkdir -p "$build/corpus-$target" "$build/crashes"
  TMPDIR=/dev/shm "$build/fuzz/fuzz_$target" "${options[@]}" -max_total_time="$mode" \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" "$@" \
    "$build/corpus-$target" "$root/fuzz/corpus-$target"
fi
