#!/usr/bin/env bash
# Builds everything and runs every test; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
ctest --preset release -j"$(nproc)"
