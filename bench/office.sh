#!/usr/bin/env bash
# The back office over a year of books, in a folder and on a server, in one run: a throwaway
# PostgreSQL cluster of its own (scripts/pg-throwaway.sh, stopped and removed at the end; never
# the machine's) holds the server's year, and bench_office measures both.
#
#   bench/office.sh [bench_office's arguments]
#
# The binary is taken from $VARNEL_BENCH_BUILD (build-bench by default).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VARNEL_BENCH_BUILD:-$root/build-bench}"
bench="$build/bench/bench_office"
throwaway="$root/scripts/pg-throwaway.sh"
[ -x "$bench" ] || { echo "office.sh: build $bench first" >&2; exit 2; }

dir="$(mktemp -d /tmp/varnel-opg-XXXXXX)"
trap '"$throwaway" stop "$dir" || true; rm -rf "$dir"' EXIT
"$throwaway" start "$dir" postgres >/dev/null
echo "# $(date -u '+%F %T') UTC, $(uptime)"
VARNEL_BENCH_SERVER="$("$throwaway" conninfo "$dir" postgres)" "$bench" "$@"
