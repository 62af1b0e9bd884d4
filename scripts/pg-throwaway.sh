#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, the benchmarks and the README's demonstration:
# a cluster in a folder of its own, reached only through a private Unix socket (no TCP port).
# It never touches the machine's own clusters.
#
#   scripts/pg-throwaway.sh start DIR [DBNAME]   initdb into DIR/data (when not there yet), start
#                                                it, create DBNAME (default varnel) when missing,
#                                                and print the connection string
#   scripts/pg-throwaway.sh stop DIR [MODE]      stop it (MODE as pg_ctl's -m: fast by default,
#                                                immediate for a crash)
#   scripts/pg-throwaway.sh conninfo DIR [DBNAME]
#
# initdb and postgres refuse to run as root: as root they run as the unprivileged `postgres`
# user (the server package makes it), DIR given to it. The socket's path, DIR/s/.s.PGSQL.5432,
# must stay under 107 bytes: keep DIR short (mktemp -d under /tmp).
set -euo pipefail

bin="${PG_BIN:-/usr/lib/postgresql/15/bin}"
action="${1:-}"
dir="${2:-}"
if [ -z "$action" ] || [ -z "$dir" ]; then
  sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
dir="$(mkdir -p "$dir" && cd "$dir" && pwd)"
socket="$dir/s"
if [ ${#socket} -gt 90 ]; then
  echo "pg-throwaway: the folder's path is too long for a Unix socket: $dir" >&2
  exit 2
fi

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  as_owner=(runuser -u postgres --)
fi
user="$(if [ "$(id -u)" -eq 0 ]; then echo postgres; else id -un; fi)"

conninfo() {
  echo "host=$socket port=5432 dbname=${1:-varnel} user=$user"
}

case "$action" in
start)
  db="${3:-varnel}"
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    mkdir -p "$dir/data" "$socket"
    chmod 700 "$dir" "$dir/data" "$socket"
    if [ "$(id -u)" -eq 0 ]; then chown -R postgres: "$dir"; fi
    "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -E UTF8 --locale=C.UTF-8 -A trust -U "$user" \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
  fi
  "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-k $socket -c listen_addresses= -c port=5432 -c fsync=on" start >/dev/null || {
    cat "$dir/server.log" >&2
    exit 1
  }
  if ! "${as_owner[@]}" "$bin/psql" -h "$socket" -U "$user" -d postgres -Atqc \
    "select 1 from pg_database where datname = '$db'" | grep -q 1; then
    "${as_owner[@]}" "$bin/createdb" -h "$socket" -U "$user" "$db"
  fi
  conninfo "$db"
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -w -t 60 -m "${3:-fast}" stop >/dev/null
  fi
  ;;
conninfo)
  conninfo "${3:-varnel}"
  ;;
*)
  echo "pg-throwaway: unknown action $action" >&2
  exit 2
  ;;
esac
