#!/usr/bin/env bash
# Compiles, for Windows, every source file the Windows program is built from
# (app/, cli/, data/, db/, common/, platform/: the *_posix.cpp files are
# left out, as the Windows build leaves them out) with mingw-w64. Debian has
# no Qt for mingw-w64: the files are checked for syntax only, against the
# Qt 6 headers of this system. The Qt-free part (platform/win32) is fully
# built and tested under Wine by scripts/test-windows.sh.
# Needs the package mingw-w64 and Qt 6's development headers.
# Usage: bash scripts/test-windows-compile.sh
set -euo pipefail
cd "$(dirname "$0")/.."

CXX=${CXX_WIN:-x86_64-w64-mingw32-g++-posix}
command -v "$CXX" >/dev/null || { echo "$CXX est introuvable (paquet mingw-w64)." >&2; exit 1; }
QT=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
[ -d "$QT/QtCore" ] || { echo "En-têtes de Qt 6 introuvables ($QT)." >&2; exit 1; }

mapfile -t FILES < <(find app cli data db common platform -name '*.cpp' ! -name '*_posix.cpp' | sort)

# Linux's Qt headers declare their exports for a shared Linux library: the
# dllimport warnings that gives under mingw say nothing about our code.
FLAGS=(-std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes
       -DUNICODE -D_UNICODE -DIVROMVT_VERSION='"check"'
       -I. -Iplatform/win32 -I"$QT" -I"$QT/QtCore" -I"$QT/QtGui" -I"$QT/QtWidgets" -I"$QT/QtConcurrent")

LOG=$(mktemp -d "${TMPDIR:-/tmp}/ivromvt-wincheck.XXXXXX")
trap 'rm -rf "$LOG"' EXIT
export CXX LOG
check() {
    local f=$1 out
    out="$LOG/$(echo "$f" | tr / %).err"
    if "$CXX" "${@:2}" "$f" >"$out" 2>&1; then
        rm -f "$out"
        echo "  ok      $f"
    else
        echo "  ÉCHEC   $f"
    fi
}
export -f check
echo "[windows-compile] $CXX, ${#FILES[@]} fichiers, en-têtes Qt : $QT"
printf '%s\n' "${FILES[@]}" | xargs -P "$(nproc)" -I{} bash -c 'check "$@"' _ {} "${FLAGS[@]}"

failed=("$LOG"/*.err)
if [ -e "${failed[0]}" ]; then
    echo "[windows-compile] fichiers qui ne compilent pas pour Windows :"
    for e in "${failed[@]}"; do
        echo "---- $(basename "$e" .err | tr % /)"
        head -30 "$e"
    done
    exit 1
fi
echo "[windows-compile] les ${#FILES[@]} fichiers compilent pour Windows."
