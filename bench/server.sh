#!/usr/bin/env bash
# The books on a server, measured on a throwaway PostgreSQL cluster of its own (started here
# through scripts/pg-throwaway.sh, stopped and removed at the end; never the machine's):
#
#   bench/server.sh [SECONDS] [ROUNDS]
#
# Bets per second with 1, 2, 4 and 8 counters (bench_server's BM_RecordBets, SECONDS each, 20 by
# default; with the history's chain and with its sealer a no-op) beside pgbench's TPC-B-like
# transactions with as many clients (-s 8, in a second database of the same cluster, SECONDS
# each), taking turns, ROUNDS times over (3 by
# default); then settling (BM_SettleEvent), the browser (BM_OpenBrowser), and the time from a
# bet's commit to the back office showing it (bench_office's BM_CommitToView). Every commit of
# the books notifies the back office, so pgbench runs its built-in script with a NOTIFY added
# (bench/tpcb-notify.sql); PLAIN=1 runs the built-in one as it is. CLIENTS="8" measures only
# those numbers of clients; REST=0 leaves out what follows the bets. The binary is
# taken from $VARNEL_BENCH_BUILD (build-bench by default). With STATEMENTS=1 the server loads
# pg_stat_statements, and the statements of the bets' database are listed after the bets.
# STAND_INS="writes-only no-history reads-only" adds, after the bets of each round, the same
# counters with the operation replaced by each stand-in of bench/stand-ins/ (with the chain):
# what a bet costs without the rules, without its history record, without any write.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
rounds="${2:-3}"
build="${VARNEL_BENCH_BUILD:-$root/build-bench}"
bench="$build/bench/bench_server"
throwaway="$root/scripts/pg-throwaway.sh"
[ -x "$bench" ] || { echo "server.sh: build $bench first" >&2; exit 2; }

dir="$(mktemp -d /tmp/varnel-bpg-XXXXXX)"
trap '"$throwaway" stop "$dir" || true; rm -rf "$dir"' EXIT
"$throwaway" start "$dir" postgres >/dev/null
if [ "${STATEMENTS:-0}" = 1 ]; then
  psql -XAtq -d "$("$throwaway" conninfo "$dir" postgres)" \
    -c "alter system set shared_preload_libraries = 'pg_stat_statements'"
  "$throwaway" stop "$dir"
  "$throwaway" start "$dir" postgres >/dev/null
fi
server="$("$throwaway" conninfo "$dir" postgres)"
sql() { psql -XAtq -v ON_ERROR_STOP=1 -d "$server" -c "$1"; }

echo "# $(date -u '+%F %T') UTC, $(uptime)"
echo "# PostgreSQL $(sql 'show server_version'), synchronous_commit=$(sql 'show synchronous_commit')," \
  "fsync=$(sql 'show fsync'), shared_buffers=$(sql 'show shared_buffers')"
sql "create database pgbench"
pgbench -i -s 8 -q "$("$throwaway" conninfo "$dir" pgbench)" 2>&1 | tail -1
[ "${STATEMENTS:-0}" = 1 ] && sql "create extension pg_stat_statements"

export VARNEL_BENCH_SERVER="$server"
for round in $(seq "$rounds"); do
  for clients in ${CLIENTS:-1 2 4 8}; do
    script=(-f "$root/bench/tpcb-notify.sql" -s 8) # -s: a custom script is not told the scale
    [ "${PLAIN:-0}" = 1 ] && script=(-b tpcb-like)
    tps="$(pgbench -n "${script[@]}" -c "$clients" -j "$clients" -T "$seconds" \
      "$("$throwaway" conninfo "$dir" pgbench)" | sed -n 's/^tps = \([0-9.]*\).*/\1/p')"
    echo "round $round, $clients clients: pgbench $tps tps, load $(cut -d' ' -f1-3 /proc/loadavg)"
    # with the history's chain and without, the first of the two taking turns (what one leaves
    # behind, autovacuum at work, falls on the other)
    order="0 1"
    [ $((round % 2)) = 0 ] && order="1 0"
    for chain in $order; do
      "$bench" --benchmark_filter="BM_RecordBets/chain:$chain/real_time/threads:$clients\$" \
        --benchmark_min_time="$seconds" 2>&1 | grep -E '^BM_|ERROR|error' || true
    done
    for stand_in in ${STAND_INS:-}; do
      echo "stand-in $stand_in:"
      VARNEL_BENCH_TAKE_BET="$root/bench/stand-ins/$stand_in.sql" "$bench" \
        --benchmark_filter="BM_RecordBets/chain:1/real_time/threads:$clients\$" \
        --benchmark_min_time="$seconds" 2>&1 | grep -E '^BM_|ERROR|error' || true
    done
  done
done

if [ "${STATEMENTS:-0}" = 1 ]; then
  echo "# calls|total ms|rows|statement, the bets' database of the last run"
  sql "select calls, round(total_exec_time::numeric, 1) as ms, rows, left(regexp_replace(query, '\s+', ' ', 'g'), 110)
       from pg_stat_statements where dbid = (select oid from pg_database where datname = 'bench_bets')
       order by calls desc limit 30"
fi

[ "${REST:-1}" = 0 ] && exit 0
echo "# $(uptime)"
"$bench" --benchmark_filter='BM_SettleEvent|BM_OpenBrowser|BM_CommitToView'
echo "# $(uptime)"
