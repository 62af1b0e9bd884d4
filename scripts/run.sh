#!/usr/bin/env bash
# Installs what is missing, builds, lays out a working folder unless one is there, and
# starts the program in it.   Usage: scripts/run.sh [FOLDER]   (default: ~/varnel-desk)
# VARNEL_PROGRAM names another of the build's programs to start there (scripts/office.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
folder="${1:-$HOME/varnel-desk}"

"$root/scripts/deps.sh"
"$root/scripts/build.sh"

if [ ! -e "$folder/COMPIT.DBF" ] && [ ! -e "$folder/PRIEM.DBF" ] &&
   [ ! -e "$folder/TMP.DBF" ] && [ ! -e "$folder/MONEY.DBF" ]; then
  "$root/build/varnel-newdesk" "$folder"
fi
cd "$folder"
exec "$root/build/${VARNEL_PROGRAM:-varnel}"
