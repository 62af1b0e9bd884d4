#!/usr/bin/env bash
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan and runs the whole suite under them; any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${SANITIZE_BUILD_DIR:-$root/build-asan}"

"$root/scripts/deps.sh" test
BUILD_DIR="$build" "$root/scripts/build.sh" -DVARNEL_SANITIZE=ON -DVARNEL_BENCHMARKS=OFF
mkdir -p /tmp/varnel-test-runtime && chmod 700 /tmp/varnel-test-runtime
cd "$build"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
ctest --output-on-failure -j2
