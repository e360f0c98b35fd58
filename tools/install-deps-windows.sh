#!/usr/bin/env bash
# Installs what the Windows programs need on Debian, beyond
# tools/install-deps.sh: the MinGW-w64 cross compiler (posix threads) for
# the build; with "test", also Wine, a virtual X display (Xvfb), xdotool
# and xwd for the window's smoke test, Wine's own fonts, and the Korean
# locale that makes Wine's dialogs and message boxes Korean. Safe to run
# again.
#
#   bash tools/install-deps-windows.sh [build|test]
set -euo pipefail
what="${1:-build}"

packages=(cmake make g++-mingw-w64-x86-64-posix)
if [ "$what" = test ]; then
  packages+=(wine wine64 fonts-wine xvfb xdotool x11-apps locales)
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ "$what" = test ] && ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
  $SUDO localedef -i ko_KR -f UTF-8 ko_KR.UTF-8
fi
