#!/usr/bin/env bash
# The builds a packager and another compiler make, warnings as errors: the Debian package (a Release build with
# dpkg-buildflags' flags, so this is also the check that such a build is clean), unpacked and run by
# packaging/tests/package_test.sh; then the two programs built by clang 14.
set -euo pipefail
cd "$(dirname "$0")/.."
TELVANE_WERROR=ON scripts/package.sh
packaging/tests/package_test.sh build/package/telvane_*_amd64.deb

# clang 14 builds the two programs in the fuzz build's tree (clang 14, warnings as errors), whose libraries the test
# command has already compiled: only the windows and the command line are left to compile.
build=${TELVANE_FUZZ_BUILD:-build/fuzz}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTELVANE_FUZZ=ON -DTELVANE_TESTS=OFF -DTELVANE_BENCH=OFF -DTELVANE_WERROR=ON >/dev/null
cmake --build "$build" --target telvane telvane-cli -j"$(nproc)"
echo "clang 14: telvane and telvane-cli built"
