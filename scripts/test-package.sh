#!/usr/bin/env bash
# Installs the built Debian package on this machine, checks what it put there, starts the
# installed counter headless through its launcher, and removes the package again.
#   scripts/test-package.sh [DEB]      (default: the one scripts/package.sh left in build-pkg)
# The package is purged at the end, even when it was installed before the test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

if [ $# -gt 0 ]; then
  deb="$(realpath "$1")"
else
  debs=("${PKG_BUILD_DIR:-$root/build-pkg}"/varnel_*_amd64.deb)
  if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "test-package.sh: no single package in build-pkg; run scripts/package.sh" >&2
    exit 2
  fi
  deb="${debs[0]}"
fi

"$root/scripts/deps.sh" package
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: runs COMMAND, counts and reports its outcome
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what" >&2
  fi
}

scratch="$(mktemp -d)"
started=()
cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get purge -y -qq varnel >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Before installing: what lintian finds wrong with the package itself.
check "lintian finds no error or warning" \
  lintian --fail-on error,warning "$deb"

# The entries and pages of programs still to come are checked from the sources already.
for entry in "$root"/packaging/*.desktop; do
  check "$(basename "$entry") is valid" desktop-file-validate "$entry"
done
page_sound() {
  local warnings
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "$1: $warnings" >&2; return 1; }
}
for page in "$root"/packaging/man/*.1; do
  check "$(basename "$page") reads without a warning" page_sound "$page"
done

DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "$deb" >/dev/null

depends="$(dpkg-query -W -f='${Depends}' varnel)"
has_depends() {
  for lib in libqt6core6 libqt6gui6 libqt6widgets6 libpq5 fonts-liberation2; do
    [[ $depends == *"$lib"* ]] || { echo "Depends: $depends (no $lib)" >&2; return 1; }
  done
}
check "Depends names the Qt libraries, libpq and the font" has_depends

# Every entry is valid, starts a program the package installed and shows an icon it installed,
# at every size as the size it claims to be.
entry_sound() {
  local entry=$1 exec icon size
  desktop-file-validate "$entry" || return 1
  exec="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
  [ "$(command -v "$exec")" = "/usr/bin/$exec" ] || { echo "$entry: Exec $exec" >&2; return 1; }
  icon="$(sed -n 's/^Icon=//p' "$entry")"
  for size in 16 32 48 64 128 256; do
    file "/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" |
      grep -q "PNG image data, $size x $size, 8-bit/color RGBA" ||
      { echo "$entry: no ${size}px icon $icon" >&2; return 1; }
  done
}
entries=0
for entry in $(dpkg -L varnel | grep '^/usr/share/applications/.*\.desktop$'); do
  check "$entry is valid and its program and icons are installed" entry_sound "$entry"
  entries=$((entries + 1))
done
check "the counter has a desktop entry" test -f /usr/share/applications/varnel.desktop

# Every program in /usr/bin has a man page that man reads without a warning.
man_sound() {
  local page="/usr/share/man/man1/$1.1.gz"
  gzip -t "$page" && page_sound "$page"
}
for program in $(dpkg -L varnel | sed -n 's|^/usr/bin/||p'); do
  check "man page of $program" man_sound "$program"
done

# Installed, varnel-newdesk takes the bitmaps the package put in /usr/share, not those of the
# source tree it was built from (which is still here in CI, so a layout alone would not tell).
newdesk_images() {
  local usage
  usage="$(varnel-newdesk --help)" || return 1
  [[ $usage == *"по умолчанию /usr/share/varnel/images)"* ]] || { echo "$usage" >&2; return 1; }
}
check "varnel-newdesk defaults to the installed bitmaps" newdesk_images
shipped=$(find /usr/share/varnel/images -name '*.bmp' | wc -l)

# start_counter HOME [VAR=VALUE...]: the menu's command in a fresh home, headless, left running;
# with LAUNCHED=varnel-office, the back office's.
start_counter() {
  local home=$1
  shift
  mkdir -p "$home/run" && chmod 700 "$home/run"
  env -u VARNEL_DESK -u XDG_CONFIG_HOME HOME="$home" XDG_RUNTIME_DIR="$home/run" \
    QT_QPA_PLATFORM=offscreen "$@" varnel-desk ${LAUNCHED:-} >"$home/out.txt" 2>&1 &
  counter=$!
  started+=("$counter")
}

# Two seconds after the start the counter is still running, as /usr/bin/varnel, in FOLDER,
# which holds the four tables and every shipped bitmap.
runs_in() {
  local pid=$1 folder=$2 home=$3 program=${4:-varnel} table
  kill -0 "$pid" 2>/dev/null || { echo "exited: $(cat "$home/out.txt")" >&2; return 1; }
  [ "$(readlink "/proc/$pid/exe")" = "/usr/bin/$program" ] || { echo "runs $(readlink "/proc/$pid/exe")" >&2; return 1; }
  [ "$(readlink "/proc/$pid/cwd")" = "$folder" ] || { echo "in $(readlink "/proc/$pid/cwd")" >&2; return 1; }
  for table in COMPIT PRIEM TMP MONEY; do
    [ -s "$folder/$table.DBF" ] || { echo "no $folder/$table.DBF" >&2; return 1; }
  done
  [ "$(find "$folder/images" -name '*.bmp' | wc -l)" -eq "$shipped" ] ||
    { echo "images missing from $folder/images" >&2; return 1; }
}

# Where the launcher puts the books: the default, the setting (a ~ in it is the home folder),
# and the environment over the setting.
declare -A cases=(
  [default]=varnel-desk
  [setting]=books/main
  [environment]=elsewhere
)
for name in default setting environment; do
  home="$scratch/$name"
  mkdir -p "$home"
  home="$(realpath "$home")"
  extra=()
  if [ "$name" != default ]; then
    mkdir -p "$home/.config/varnel"
    # shellcheck disable=SC2088 # the launcher expands the ~ itself
    echo "~/books/main" >"$home/.config/varnel/desk"
  fi
  if [ "$name" = environment ]; then extra=(VARNEL_DESK="$home/elsewhere"); fi
  start_counter "$home" "${extra[@]}"
  sleep 2
  check "the launcher starts the counter in the $name folder" \
    runs_in "$counter" "$home/${cases[$name]}" "$home"
  kill "$counter" 2>/dev/null || true
  wait "$counter" 2>/dev/null || true
done

# The back office's entry: the launcher lays out the folder and starts it there, and it opens
# the books of the folder it is started in.
check "the back office has a desktop entry" test -f /usr/share/applications/varnel-office.desktop
home="$scratch/office"
mkdir -p "$home"
home="$(realpath "$home")"
LAUNCHED=varnel-office start_counter "$home"
sleep 2
check "the launcher starts the back office in the default folder" \
  runs_in "$counter" "$home/varnel-desk" "$home" varnel-office
kill "$counter" 2>/dev/null || true
wait "$counter" 2>/dev/null || true

DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get purge -y -qq varnel >/dev/null
check "purging leaves no program behind" test ! -e /usr/bin/varnel -a ! -e /usr/bin/varnel-office -a ! -e /usr/share/varnel

echo "package ($(basename "$deb"), $entries desktop entries):"
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
