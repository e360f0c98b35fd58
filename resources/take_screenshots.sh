#!/usr/bin/env bash
# Takes screenshots/form1.png and screenshots/frmmsg.png: the window and the
# progress notice on a virtual X display (Xvfb) with a window manager
# (openbox) and the Korean fonts installed.
#
#   resources/take_screenshots.sh BUILD_FOLDER
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: take_screenshots.sh BUILD_FOLDER}"
cmake --build "$build" --target app_screenshots -j2
mkdir -p "$here/screenshots"

display=":57"
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp &
xvfb=$!
wm=""
stop() {
  # The window manager first, so that it does not outlive its display.
  if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; wait "$wm" 2>/dev/null || true; fi
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap stop EXIT
sleep 1
DISPLAY="$display" openbox >/dev/null 2>&1 &
wm=$!
sleep 1
DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$(mktemp -d)" \
  "$build/tests/app/app_screenshots" "$here/screenshots"
