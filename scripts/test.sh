#!/usr/bin/env bash
# Builds everything and runs every test, then a short run of every fuzz target; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
# TELVANE_CMAKE_ARGS: more for the configure step (CI leaves the benchmarks out, which no test runs).
cmake --preset release ${TELVANE_CMAKE_ARGS:-} >/dev/null
cmake --build --preset release -j"$(nproc)"
ctest --preset release -j"$(nproc)"
scripts/fuzz.sh "${TELVANE_FUZZ_SECONDS:-20}"
