#!/usr/bin/env bash
# Builds the table fuzzer with clang into build-fuzz and runs it.
#   scripts/fuzz.sh regress        every input of fuzz/corpus once (CI does this)
#   scripts/fuzz.sh SECONDS [...]  fuzzes that long; new inputs go to build-fuzz/corpus,
#                                  crashes to build-fuzz/crashes; extra args go to libFuzzer
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
corpus="$root/fuzz/corpus"

CXX=clang++ CC=clang cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNEL_FUZZ=ON -DBUILD_TESTING=OFF -DVARNEL_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_table

options=(-rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=10 -max_len=8192)
mode="${1:-regress}"
shift || true
if [ "$mode" = regress ]; then
  "$build/fuzz/fuzz_table" "${options[@]}" -runs=0 "$corpus"
else
  mkdir -p "$build/corpus" "$build/crashes"
  TMPDIR=/dev/shm "$build/fuzz/fuzz_table" "${options[@]}" -max_total_time="$mode" -print_final_stats=1 \
    -artifact_prefix="$build/crashes/" "$@" "$build/corpus" "$corpus"
fi
