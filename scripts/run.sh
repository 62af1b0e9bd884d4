#!/usr/bin/env bash
# Installs what is missing, builds the program and the tool that lays out a working folder,
# lays out a working folder unless one is there, and starts the program in it.
#   scripts/run.sh [FOLDER]   (default: ~/varnel-desk)
# VARNEL_PROGRAM names another of the build's programs to start there (scripts/office.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
folder="${1:-$HOME/varnel-desk}"
program="${VARNEL_PROGRAM:-varnel}"

"$root/scripts/deps.sh"
# Only what is started: the tests and the benchmarks are the test command's to build.
BUILD_DIR="$build" "$root/scripts/build.sh" --target "$program" --target varnel-newdesk

if [ ! -e "$folder/COMPIT.DBF" ] && [ ! -e "$folder/PRIEM.DBF" ] &&
   [ ! -e "$folder/TMP.DBF" ] && [ ! -e "$folder/MONEY.DBF" ]; then
  "$build/varnel-newdesk" "$folder"
fi
cd "$folder"
exec "$build/$program"
