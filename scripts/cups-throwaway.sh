#!/usr/bin/env bash
# A throwaway CUPS daemon for the tests of printing: its own server root, spool and log in a
# folder of its own, reached through a private Unix socket only, with one queue whose device is
# a file (a PDF printer's output). It never touches the machine's own CUPS.
#
#   scripts/cups-throwaway.sh start DIR QUEUE   start it and make QUEUE, printing into
#                                               DIR/out/QUEUE.pdf; prints the socket, for
#                                               CUPS_SERVER
#   scripts/cups-throwaway.sh stop DIR          stop it
#
# The filters run as the `lp` user (the cups package makes it), so the spool's temporary folder
# and the output folder are open to it.
set -euo pipefail

cmd="${1:?start or stop}"
dir="${2:?a folder}"
dir="$(mkdir -p "$dir" && cd "$dir" && pwd)"

case "$cmd" in
start)
  queue="${3:?a queue name}"
  mkdir -p "$dir"/{spool,cache,log,state,tmp,out}
  chmod 755 "$dir"
  chmod 1777 "$dir/tmp" "$dir/out"
  cat > "$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel info
WebInterface No
Browsing No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cat > "$dir/cups-files.conf" <<EOF
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice Yes
SystemGroup root
EOF
  /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" > "$dir/log/cupsd.out" 2>&1 &
  echo $! > "$dir/cupsd.pid"
  for _ in $(seq 100); do
    [ -S "$dir/cups.sock" ] && break
    sleep 0.1
  done
  [ -S "$dir/cups.sock" ] || { cat "$dir/log/cupsd.out" >&2; echo "cups-throwaway.sh: cupsd did not start" >&2; exit 1; }
  CUPS_SERVER="$dir/cups.sock" /usr/sbin/lpadmin -p "$queue" -E -v "file://$dir/out/$queue.pdf" \
    -m lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd 2>/dev/null
  echo "$dir/cups.sock"
  ;;
stop)
  if [ -f "$dir/cupsd.pid" ]; then
    kill "$(cat "$dir/cupsd.pid")" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null || break
      sleep 0.1
    done
    rm -f "$dir/cupsd.pid"
  fi
  ;;
*)
  echo "cups-throwaway.sh: start or stop" >&2
  exit 2
  ;;
esac
