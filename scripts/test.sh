#!/usr/bin/env bash
# Builds the project and runs every test suite against the local Firebird
# server. Usage: bash scripts/test.sh [build-folder] [extra cmake options…]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
cmake -S . -B "$build" -DIVROMVT_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j1
