#!/usr/bin/env bash
# Compiles, for Windows, every source file the Windows program is built from
# (app/, cli/, data/, db/, common/, platform/: the *_posix.cpp files are
# left out, as the Windows build leaves them out) with mingw-w64. Debian has
# no Qt for mingw-w64: the files are checked for syntax only, against the
# Qt 6 headers of this system. The Qt-free part (platform/win32) is fully
# built and tested under Wine by scripts/test-windows.sh.
# The window's resource file, which embeds its manifest, goes through
# mingw-w64's resource compiler, and the manifest is checked to be
# well-formed XML.
# Needs the packages mingw-w64 (binutils-mingw-w64-x86-64 for windres) and
# Qt 6's development headers.
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

# The manifest: read by Windows before the program runs, so a mistake there
# shows as a program that does not start at all.
WINDRES=${WINDRES:-x86_64-w64-mingw32-windres}
command -v "$WINDRES" >/dev/null || { echo "$WINDRES est introuvable (paquet binutils-mingw-w64-x86-64)." >&2; exit 1; }
manifest_err="$LOG/app%IvroMVT.manifest.err"
rc_err="$LOG/app%IvroMVT.rc.err"
if python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' app/IvroMVT.manifest >"$manifest_err" 2>&1; then
    rm -f "$manifest_err"
    echo "  ok      app/IvroMVT.manifest (XML)"
else
    echo "  ÉCHEC   app/IvroMVT.manifest"
fi
if (cd app && "$WINDRES" IvroMVT.rc -O coff -o "$LOG/IvroMVT.res.o") >"$rc_err" 2>&1 \
        && x86_64-w64-mingw32-objdump -h "$LOG/IvroMVT.res.o" | grep -q '\.rsrc'; then
    rm -f "$rc_err"
    echo "  ok      app/IvroMVT.rc ($WINDRES)"
else
    echo "  ÉCHEC   app/IvroMVT.rc ($WINDRES)"
fi

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
