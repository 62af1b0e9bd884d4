#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/deps.sh" test
"$root/scripts/build.sh"
mkdir -p /tmp/varnel-test-runtime && chmod 700 /tmp/varnel-test-runtime
cd "$build"
ctest --output-on-failure -j2
