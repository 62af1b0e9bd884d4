#!/usr/bin/env bash
# Two counters and the back office on one set of books, on a throwaway PostgreSQL server of
# their own: the server started in a folder (a private socket, no TCP port), the books laid out
# on it with a cashier (kassir) and a manager (menedzher), three events entered by the manager,
# and three working folders that name it in their varnel.conf, each with its operator's login:
# the cashier's counter and the manager's side by side, the back office as the manager under
# them. Closing all three stops the server; the folder stays for a look (DIR, or one under
# /tmp).
#   scripts/demo-server.sh [DIR]        installs what is missing and builds first
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/deps.sh" demo
BUILD_DIR="$build" "$root/scripts/build.sh" \
  --target varnel --target varnel-office --target varnel-newdesk
dir="${1:-$(mktemp -d /tmp/varnel-demo-XXXXXX)}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
# As root the server runs as the `postgres` user, who must pass through this folder to its own
# (mktemp makes it the owner's alone).
chmod 755 "$dir"

conninfo="$("$root/scripts/pg-throwaway.sh" start "$dir/pg")"
trap '"$root/scripts/pg-throwaway.sh" stop "$dir/pg"' EXIT
"$build/varnel-newdesk" --server "$conninfo"
"$build/varnel-newdesk" --server "$conninfo" --add-operator kassir --role kassa --no-password
"$build/varnel-newdesk" --server "$conninfo" --add-operator menedzher --role manager \
  --no-password
# libpq takes the last of a repeated keyword: the same server, another login.
as() { echo "$conninfo user=$1"; }

# The events a bet can be taken on at once, entered by the manager through the books' own
# operation, as the event dialog enters them (the opening sum of 500 on each outcome, the
# history's «Событие» record with it): no operator writes a table.
psql="${PG_BIN:-/usr/lib/postgresql/15/bin}/psql"
"$psql" -X -q -v ON_ERROR_STOP=1 -d "$(as menedzher)" >/dev/null <<'SQL'
select varnel.enter_event(1, current_date + 1, 'Зенит', 'Спартак', 2.10, 3.40, 3.20,
                          500, 500, 500, gen_random_uuid());
select varnel.enter_event(2, current_date + 2, 'ЦСКА', 'Локомотив', 2.50, 2.80, 3.10,
                          500, 500, 500, gen_random_uuid());
select varnel.enter_event(3, current_date + 3, 'Динамо', 'Торпедо', 1.90, 4.00, 3.50,
                          500, 500, 500, gen_random_uuid());
SQL

# A working folder on the server's books, as the operator's login: needs only its varnel.conf
# and the windows' pictures.
folder() { # folder NAME LOGIN
  mkdir -p "$dir/$1/images"
  cp "$root"/images/*.bmp "$dir/$1/images/"
  printf '[server]\nconninfo=%s\n' "$(as "$2")" >"$dir/$1/varnel.conf"
}
folder kassir kassir
folder menedzher menedzher
folder office menedzher

# The programs keep their settings (the office's window) in the demo's folder, not the user's.
export XDG_CONFIG_HOME="$dir/config"
pids=()
for counter in kassir menedzher; do
  (cd "$dir/$counter" && exec "$build/varnel") &
  pids+=($!)
done
"$build/varnel-office" "$dir/office" &
pids+=($!)

# place PID TITLE X Y [WIDTH HEIGHT]: moves the program's window whose title matches TITLE (an
# ASCII pattern: xdotool reads a title's other letters as the locale lets it) there once the
# window manager has framed it; a counter's main window centres itself then, once, so it is
# moved until it stays.
place() {
  local pid=$1 title=$2 x=$3 y=$4 window="" tries at
  for tries in $(seq 300); do # a minute, unless the program ends first (a refusal at start)
    kill -0 "$pid" 2>/dev/null || return 0
    window="$(xdotool search --all --onlyvisible --pid "$pid" --name "$title" | head -n 1)" || true
    [ -z "$window" ] || break
    sleep 0.2
  done
  [ -n "$window" ] || return 0
  for tries in 1 2 3 4 5; do
    if [ $# -gt 4 ]; then xdotool windowsize "$window" "$5" "$6" || return 0; fi
    xdotool windowmove --sync "$window" "$x" "$y" || return 0
    at="$(xdotool getwindowgeometry "$window" | grep Position)" || return 0
    sleep 0.7
    [ "$(xdotool getwindowgeometry "$window" | grep Position)" != "$at" ] || break
  done
}
# A counter centres its main window, so the two would stand on one spot: they go side by side
# at the top, the office into the room left under (or beside) them.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null; then
  read -r width height < <(xdotool getdisplaygeometry)
  counter=480 # a counter's window with its frame, and a gap
  place "${pids[0]}" '^Varnel .' 0 0
  place "${pids[1]}" '^Varnel .' "$counter" 0
  if [ $((width - 2 * counter)) -ge 900 ]; then
    place "${pids[2]}" '/office ' $((2 * counter)) 0 $((width - 2 * counter)) $((height - 60))
  else
    place "${pids[2]}" '/office ' 0 450 "$((width < 1200 ? width : 1200))" $((height - 510))
  fi
fi

echo "Две кассы и бэк-офис на одних книгах (сервер: $conninfo):"
echo "  касса кассира kassir (слева):         $dir/kassir"
echo "  касса менеджера menedzher (справа):   $dir/menedzher"
echo "  бэк-офис менеджера menedzher:         $dir/office"
echo "Менеджер ввёл события № 1–3; ставки на них принимает любая касса. Отменить результат" \
  "в бэк-офисе может только менеджер."
wait "${pids[@]}"
