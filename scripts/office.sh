#!/usr/bin/env bash
# Installs what is missing, builds, lays out a working folder unless one is there, and starts
# the back office on it.   Usage: scripts/office.sh [FOLDER]   (default: ~/varnel-desk)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
folder="${1:-$HOME/varnel-desk}"

"$root/scripts/deps.sh"
"$root/scripts/build.sh"

if [ ! -e "$folder/COMPIT.DBF" ] && [ ! -e "$folder/PRIEM.DBF" ] &&
   [ ! -e "$folder/TMP.DBF" ] && [ ! -e "$folder/MONEY.DBF" ]; then
  "$root/build/varnel-newdesk" "$folder"
fi
exec "$root/build/varnel-office" "$folder"
