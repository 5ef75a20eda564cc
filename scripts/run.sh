#!/usr/bin/env bash
# Builds the program, installs it into dist/telvane/ and starts it from there.
# DHB.EDB lives beside the installed executable, so a clean rebuild never touches it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset release -DTELVANE_TESTS=OFF -DTELVANE_BENCH=OFF >/dev/null
cmake --build --preset release --target telvane telvane-cli -j"$(nproc)"
cmake --install build/release --prefix "$PWD/dist" --component telvane >/dev/null
exec dist/telvane/telvane
