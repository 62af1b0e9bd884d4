#!/usr/bin/env bash
# Installs the Debian packages the program, its tests and its tools need, when any is missing.
#   scripts/deps.sh test      also the other dBASE writers and readers the tests check against,
#                             openssl for the tests' throwaway certificates, and the locales
#                             (CI runs the suite again in ru_RU.UTF-8)
#   scripts/deps.sh package   also what building and checking the Debian package needs
#   scripts/deps.sh bench     also the peers bench/peers.sh measures against, and hyperfine
#   scripts/deps.sh demo      also what places the demonstration's windows (xdotool)
set -euo pipefail

packages=(
  cmake ninja-build make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libpq-dev postgresql-15 libzint-dev libssl-dev libqrencode-dev
  libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-dejavu-core fonts-liberation2
  python3 python3-dbfread python3-dbf
)
if [ "${1:-}" = test ]; then
  packages+=(gdal-bin libreoffice-calc-nogui libreoffice-base-drivers poppler-utils openssl zbar-tools cups
    locales)
fi
if [ "${1:-}" = bench ]; then
  packages+=(gdal-bin hyperfine)
fi
if [ "${1:-}" = demo ]; then
  packages+=(xdotool)
fi
if [ "${1:-}" = package ]; then
  packages+=(dpkg-dev file desktop-file-utils lintian man-db)
fi

# One question to dpkg for all of them: every start of the program asks it.
installed="$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  sed -n 's/ install ok installed$//p' || true)"
missing=()
for p in "${packages[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Устанавливаются пакеты: ${missing[*]}"
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
