#!/usr/bin/env bash
# The lookup of one event's bets as whole processes, side by side, on one PRIEM.DBF of 200,000
# bets (24 MB): varnel-export, GDAL's ogrinfo, a python3-dbfread script, and cat of the file for
# scale. Each must find the same 200 bets. Prints hyperfine's table (also left in $OUT, by
# default bench/peers.md).
#   bench/peers.sh            (builds varnel-export into build/ unless BUILD_DIR says otherwise)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="${OUT:-$root/bench/peers.md}"

"$root/scripts/deps.sh" bench
"$root/scripts/build.sh" >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/varnel-newdesk" "$work/desk" >/dev/null
table="$work/desk/PRIEM.DBF"

# 200,000 bets on events 1 to 1,000 in turn, written as the program lays a record out.
/usr/bin/python3 - "$table" <<'PY'
import struct, sys
path = sys.argv[1]
head = bytearray(open(path, "rb").read())
header_length, record_length = struct.unpack("<HH", head[8:12])
records = []
for i in range(200000):
    number = b"%6d" % (i % 1000 + 1)
    result = ("Зенит" if i % 3 else "Ничья").encode("cp1251").ljust(25)
    stake = b"%19.4f" % (10 + i % 500)
    koef = b"%19.11f" % 1.85
    fio = ("Клиент %d" % (i % 7919)).encode("cp1251").ljust(50)
    record = b" " + number + result + stake + koef + fio
    assert len(record) == record_length
    records.append(record)
head = head[:header_length]
head[4:8] = struct.pack("<I", len(records))
open(path, "wb").write(bytes(head) + b"".join(records) + b"\x1a")
PY

dbfread_script="import dbfread, sys; rows = [r for r in dbfread.DBF(sys.argv[1], encoding='cp1251') if r['NUMBER'] == 9]; print(len(rows))"
count_export=$("$build/varnel-export" "$table" --where NUMBER=9 | tail -n +2 | wc -l)
count_gdal=$(ogrinfo -ro -al -q -where "NUMBER = 9" "$table" | grep -c '^  NUMBER')
count_dbfread=$(/usr/bin/python3 -c "$dbfread_script" "$table")
echo "found: varnel-export $count_export, ogrinfo $count_gdal, dbfread $count_dbfread"
if [ "$count_export" != 200 ] || [ "$count_gdal" != 200 ] || [ "$count_dbfread" != 200 ]; then
  echo "the tools disagree on the bets of event 9" >&2
  exit 1
fi

cat /proc/cpuinfo | grep -m1 'model name' || true
date -u +"%Y-%m-%d %H:%M UTC"
hyperfine --warmup 3 --runs 30 -N --export-markdown "$out" \
  -n cat "cat $table" \
  -n varnel-export "$build/varnel-export $table --where NUMBER=9" \
  -n ogrinfo "ogrinfo -ro -al -q -where 'NUMBER = 9' $table" \
  -n dbfread "/usr/bin/python3 -c \"$dbfread_script\" $table"
cat "$out"
