#!/usr/bin/env bash
# Builds the Debian package the way a packager builds it: in a folder of its own (default
# build-deb), with Debian's compiler and linker flags (hardening included), warnings not fatal,
# without the tests and benchmarks, for the prefix /usr. The .deb is left in that folder.
#   scripts/package.sh [DIR] [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}
shift $(($# > 0 ? 1 : 0))
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DMORVEL_WERROR=OFF -DMORVEL_TESTS=OFF -DMORVEL_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/morvel_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/morvel_*.deb
