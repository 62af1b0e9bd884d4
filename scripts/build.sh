#!/usr/bin/env bash
# Builds into BUILD_DIR (default build/): everything (program, tools, tests, benchmarks), or
# only the targets named with --target; the other arguments are CMake's options.
#   scripts/build.sh [--target NAME ...] [-DOPTION=VALUE ...]
# CMake configures the folder only when it is new or asked for other options: a build checks
# its CMakeLists itself and configures again when they changed, so a start with nothing
# changed costs only the build's own look at its files. A new folder is built with Ninja, whose
# look at an unchanged tree takes a fraction of Make's; one made with Make stays with it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

targets=()
options=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}")
while [ $# -gt 0 ]; do
  case "$1" in
  --target)
    targets+=(--target "${2:?build.sh: --target без имени цели}")
    shift 2
    ;;
  *)
    options+=("$1")
    shift
    ;;
  esac
done

stamp="$build/varnel-options.txt"
wanted="$(printf '%s\n' "$root" "${options[@]}")"
if [ ! -f "$build/CMakeCache.txt" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  rm -f "$stamp"
  generator=()
  if [ ! -f "$build/CMakeCache.txt" ]; then generator=(-G Ninja); fi
  cmake -S "$root" -B "$build" "${generator[@]}" "${options[@]}" >/dev/null
  printf '%s\n' "$wanted" >"$stamp"
fi
cmake --build "$build" -j2 "${targets[@]}"
