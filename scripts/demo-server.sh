#!/usr/bin/env bash
# Two counters and the back office on one set of books, on a throwaway PostgreSQL server of
# their own: the server started in a folder (a private socket, no TCP port), the books laid out
# on it, and three working folders that name it in their varnel.conf, a counter started in two
# of them and the back office in the third. Closing all three stops the server; the folder
# stays for a look (DIR, or one under /tmp).
#   scripts/demo-server.sh [DIR]        installs what is missing and builds first
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/deps.sh"
BUILD_DIR="$build" "$root/scripts/build.sh" \
  --target varnel --target varnel-office --target varnel-newdesk
dir="${1:-$(mktemp -d /tmp/varnel-demo-XXXXXX)}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

conninfo="$("$root/scripts/pg-throwaway.sh" start "$dir/pg")"
trap '"$root/scripts/pg-throwaway.sh" stop "$dir/pg"' EXIT
"$build/varnel-newdesk" --server "$conninfo"
pids=()
for n in 1 2; do
  # Such a folder needs only its varnel.conf and the windows' pictures.
  mkdir -p "$dir/counter$n/images"
  cp "$root"/images/*.bmp "$dir/counter$n/images/"
  printf '[server]\nconninfo=%s\n' "$conninfo" > "$dir/counter$n/varnel.conf"
  (cd "$dir/counter$n" && exec "$build/varnel") &
  pids+=($!)
done
mkdir -p "$dir/office/images"
cp "$root"/images/*.bmp "$dir/office/images/"
printf '[server]\nconninfo=%s\n' "$conninfo" > "$dir/office/varnel.conf"
"$build/varnel-office" "$dir/office" &
pids+=($!)
echo "Две кассы и бэк-офис на одних книгах: $dir/counter1, $dir/counter2 и $dir/office," \
  "сервер: $conninfo"
wait "${pids[@]}"
