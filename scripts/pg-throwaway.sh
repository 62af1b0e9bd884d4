#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests, the benchmarks and the README's demonstration:
# a cluster in a folder of its own, reached through a private Unix socket (no TCP port unless
# asked for). It never touches the machine's own clusters.
#
#   scripts/pg-throwaway.sh start DIR [DBNAME] [--tcp PORT [--tls CERTS]]
#                                                initdb into DIR/data (when not there yet), start
#                                                it, create DBNAME (default varnel) when missing,
#                                                and print the connection string
#   scripts/pg-throwaway.sh stop DIR [MODE]      stop it (MODE as pg_ctl's -m: fast by default,
#                                                immediate for a crash)
#   scripts/pg-throwaway.sh conninfo DIR [DBNAME]
#
# --tcp PORT: the server listens on 127.0.0.1:PORT too (its socket then takes that port's
# number), where every login asks for a password (scram-sha-256); the socket stays trusted.
# --tls CERTS: TLS on, with CERTS/server.crt and CERTS/server.key, and CERTS/root.crt (when
# there) as the roots of the clients' certificates. Both are kept for the later starts of DIR.
#
# initdb and postgres refuse to run as root: as root they run as the unprivileged `postgres`
# user (the server package makes it), DIR given to it. The socket's path, DIR/s/.s.PGSQL.PORT,
# must stay under 107 bytes: keep DIR short (mktemp -d under /tmp).
set -euo pipefail

bin="${PG_BIN:-/usr/lib/postgresql/15/bin}"
args=()
tcp=""
certs=""
while [ $# -gt 0 ]; do
  case "$1" in
  --tcp) tcp="${2:?--tcp needs a port}"; shift 2 ;;
  --tls) certs="${2:?--tls needs a folder}"; shift 2 ;;
  *) args+=("$1"); shift ;;
  esac
done
set -- "${args[@]}"
action="${1:-}"
dir="${2:-}"
if [ -z "$action" ] || [ -z "$dir" ]; then
  sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
if [ -n "$certs" ] && [ -z "$tcp" ]; then
  echo "pg-throwaway: --tls needs --tcp (libpq uses no TLS on a Unix socket)" >&2
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

port() {
  if [ -f "$dir/tcp-port" ]; then cat "$dir/tcp-port"; else echo 5432; fi
}

conninfo() {
  echo "host=$socket port=$(port) dbname=${1:-varnel} user=$user"
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
  if [ -n "$tcp" ]; then
    echo "$tcp" >"$dir/tcp-port"
    # The socket is the tests' own door; 127.0.0.1 is an operator's, with a password.
    printf '%s\n' "local all all trust" "host all all 127.0.0.1/32 scram-sha-256" \
      >"$dir/data/pg_hba.conf"
  fi
  if [ -n "$certs" ]; then
    for file in server.crt server.key root.crt; do
      if [ -f "$certs/$file" ]; then install -m 600 "$certs/$file" "$dir/data/$file"; fi
    done
    if [ "$(id -u)" -eq 0 ]; then chown postgres: "$dir"/data/*.crt "$dir/data/server.key"; fi
  fi
  options="-k $socket -c port=$(port) -c fsync=on"
  if [ -f "$dir/tcp-port" ]; then
    options+=" -c listen_addresses=127.0.0.1"
  else
    options+=" -c listen_addresses="
  fi
  if [ -f "$dir/data/server.key" ]; then
    options+=" -c ssl=on -c ssl_cert_file=server.crt -c ssl_key_file=server.key"
    if [ -f "$dir/data/root.crt" ]; then options+=" -c ssl_ca_file=root.crt"; fi
  fi
  "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "$options" start >/dev/null || {
    cat "$dir/server.log" >&2
    exit 1
  }
  if ! "${as_owner[@]}" "$bin/psql" -h "$socket" -p "$(port)" -U "$user" -d postgres -Atqc \
    "select 1 from pg_database where datname = '$db'" | grep -q 1; then
    "${as_owner[@]}" "$bin/createdb" -h "$socket" -p "$(port)" -U "$user" "$db"
  fi
  conninfo "$db"
  ;;
stop)
  # A server killed outright leaves its postmaster.pid behind: pg_ctl status tells that nobody
  # runs there any more, and then there is nothing to stop.
  if [ -f "$dir/data/postmaster.pid" ] &&
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
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
