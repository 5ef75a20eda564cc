#!/usr/bin/env bash
# Builds the Debian package build/package/telvane_<version>_amd64.deb as a Debian package build would: the two
# programs in a Release build with the compiler and linker flags of dpkg-buildflags, then packed by CPack.
# Install it with: sudo apt install ./build/package/telvane_<version>_amd64.deb
# TELVANE_WERROR=ON turns warnings into errors (CI does); TELVANE_PACKAGE_BUILD names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
build=${TELVANE_PACKAGE_BUILD:-build/package}
# CMake has no CPPFLAGS: they go in front of CXXFLAGS, as Debian's own tools put them. Given on every configure, so
# a second run uses the flags of the day rather than those of the first.
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTELVANE_TESTS=OFF -DTELVANE_BENCH=OFF \
    -DTELVANE_WERROR="${TELVANE_WERROR:-OFF}" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" --target telvane telvane-cli package_files -j"$(nproc)"
rm -f "$build"/telvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/telvane_*_amd64.deb
