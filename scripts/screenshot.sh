#!/usr/bin/env bash
# Takes the README's picture of the main window: builds the capture helper,
# starts a virtual X display, opens the window on a demo-like database
# (central server, five shops, K rows over the last ten days), evaluates it
# and writes docs/ivromvt.png (or the file given as first argument).
# Needs the Firebird server (scripts/setup.sh) and Xvfb.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"
OUT="${1:-$ROOT/docs/ivromvt.png}"

command -v Xvfb >/dev/null || { echo "Xvfb est introuvable (paquet xvfb)." >&2; exit 1; }

cmake -S "$ROOT" -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target capture_fenetre -j2 >/dev/null

# A free display number.
DISPLAY_NUM=99
while [ -e "/tmp/.X11-unix/X$DISPLAY_NUM" ] || [ -e "/tmp/.X$DISPLAY_NUM-lock" ]; do
    DISPLAY_NUM=$((DISPLAY_NUM + 1))
done
Xvfb ":$DISPLAY_NUM" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$DISPLAY_NUM" ] && break
    sleep 0.1
done

# Wherever this build puts it (its own folder, or the top of an older build).
CAPTURE=
for candidate in "$BUILD/bench/capture_fenetre" "$BUILD/capture_fenetre"; do
    [ -x "$candidate" ] && { CAPTURE=$candidate; break; }
done
[ -n "$CAPTURE" ] || { echo "capture_fenetre introuvable dans $BUILD." >&2; exit 1; }

mkdir -p "$(dirname "$OUT")"
DISPLAY=":$DISPLAY_NUM" QT_QPA_PLATFORM=xcb "$CAPTURE" "$OUT"
echo "Capture écrite : $OUT"
