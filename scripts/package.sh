#!/usr/bin/env bash
# Builds the Debian package into build-pkg (PKG_BUILD_DIR): the programs and tools alone,
# optimised, with Debian's hardening flags; prints the path of the .deb.
#   scripts/package.sh && sudo apt-get install ./build-pkg/varnel_1.0.0_amd64.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PKG_BUILD_DIR:-$root/build-pkg}"

"$root/scripts/deps.sh" package

# Debian's hardening flags, given to CMake itself: it reads CXXFLAGS from the environment only
# when a build folder is new, and never CPPFLAGS, which carries _FORTIFY_SOURCE.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DBUILD_TESTING=OFF -DVARNEL_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j2
rm -f "$build"/varnel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=("$build"/varnel_*_amd64.deb)
[ -f "${deb[0]}" ] || { echo "package.sh: cpack wrote no package" >&2; exit 1; }
echo "${deb[0]}"
