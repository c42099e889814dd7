#!/usr/bin/env bash
# Cross-builds the Windows side (platform/win32 and its tests, no Qt) with
# mingw-w64 and runs the tests under Wine, in a Wine prefix of their own that
# is removed at the end. Needs the packages mingw-w64, wine and doctest-dev
# (scripts/setup.sh installs them).
# Usage: bash scripts/test-windows.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win32}

cmake -S tests/win32 -B "$build" --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake" -DIVROMVT_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/ivromvt-wine.XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    # Only this prefix's server (and the services it runs) is ended.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT

echo "[test-windows] préfixe Wine : $prefix"
wineboot -i >/dev/null 2>&1
# wineboot returns before its set-up ends; until then the service database
# is locked (StartService fails with 1055).
wineserver -w
ctest --test-dir "$build" --output-on-failure -j1
