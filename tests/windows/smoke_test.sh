#!/usr/bin/env bash
# The Windows window under Wine on a virtual X display, driven as a user
# would drive it: the window is found by its title, a button opens its
# file dialog from the keyboard and the dialog is cancelled; then the
# Null-value removal runs on a copy of a corpus file in a Korean folder
# (c:\데이타\거래처.mdb), with the notice and a message box on screen.
# Screenshots of the window and of the notice go to SHOTS.
#
#   tests/windows/smoke_test.sh MDBCARE.EXE CORPUS_FILE SHOTS
#
# Needs WINEPREFIX (a prefix made with wineboot), Xvfb, xdotool and xwd.
# Prints "N passed, M failed" and exits 1 on any failure.
set -uo pipefail
exe="$1"
corpus_file="$2"
shots="$3"
here="$(cd "$(dirname "$0")" && pwd)"
title="mdbcare 데이타베이스 관리"
passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what="$1"
  shift
  if "$@"; then
    echo "PASS $what"
    passed=$((passed + 1))
  else
    echo "FAIL $what"
    failed=$((failed + 1))
  fi
}
# The first visible window whose title matches, waited for up to 20 s (or
# as many fifths of a second as the second argument says).
find_window() {
  for _ in $(seq "${2:-100}"); do
    if xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; then
      return 0
    fi
    sleep 0.2
  done
  return 1
}
gone() {
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}
shoot() {  # shoot WINDOW FILE
  xwd -id "$1" -silent | python3 "$here/../../tools/xwd_to_png.py" "$2"
}

mkdir -p "$shots"
folder="$WINEPREFIX/drive_c/데이타"
mkdir -p "$folder"
cp "$corpus_file" "$folder/거래처.mdb"
chmod u+w "$folder/거래처.mdb"

exec 3>"$shots/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp \
  >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$shots/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$shots/display")"
rm -f "$shots/display"
# The prefix's desktop process, started by earlier commands without a
# display, would keep every window off it: the prefix starts anew here.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
# No window manager: Wine draws the title bars itself, as Windows does.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N \
  /f >/dev/null 2>&1
wine "$exe" >/dev/null 2>&1 &
program=$!
stop() {
  kill "$program" 2>/dev/null
  wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap stop EXIT

# A new prefix's first window takes longer: Wine builds its font cache.
form=$(find_window "^$title\$" 300)
check "the window is found by its title" test -n "$form"
if [ -z "$form" ]; then
  echo "$passed passed, $failed failed"
  exit 1
fi
sleep 1
shoot "$form" "$shots/form1-windows.png"

# Space on the focused button (Command1(0)) opens its dialog; Escape
# cancels it, and nothing else appears.
xdotool windowfocus "$form"
sleep 0.3
xdotool key space
dialog=$(find_window "^Null을 제거할 데이타베이스 화일열기\$")
check "Space on Command1(0) opens the file dialog" test -n "$dialog"
xdotool windowfocus "$dialog" 2>/dev/null
sleep 0.5
xdotool key Escape
check "Escape cancels the dialog" gone "화일열기"
sleep 0.5
check "cancelling shows no message" \
  test "$(xdotool search --onlyvisible --name "^$title\$" | wc -l)" -eq 1

# The sweep on c:\데이타\거래처.mdb, its name typed into the dialog.
xdotool windowfocus "$form"
sleep 0.3
xdotool key space
dialog=$(find_window "화일열기")
xdotool windowfocus "$dialog" 2>/dev/null
sleep 0.5
xdotool type --delay 120 'c:\데이타\거래처.mdb'
sleep 0.5
xdotool key Return
notice=$(find_window "^Form1\$")
check "the sweep shows the notice" test -n "$notice"
if [ -n "$notice" ]; then
  sleep 1
  # The message box stands over the notice; moved aside, it lets the
  # notice be painted (the box's loop is the sweep's only repaint).
  for box in $(xdotool search --onlyvisible --name "^$title\$"); do
    [ "$box" != "$form" ] && xdotool windowmove "$box" 20 20
  done
  sleep 1
  shoot "$notice" "$shots/frmmsg-windows.png"
  # One message per table with records; the notice goes after the last.
  for _ in $(seq 30); do
    xdotool search --onlyvisible --name "^Form1\$" >/dev/null 2>&1 || break
    for box in $(xdotool search --onlyvisible --name "^$title\$"); do
      [ "$box" != "$form" ] && xdotool windowfocus "$box" 2>/dev/null &&
        xdotool key Return
    done
    sleep 0.5
  done
  check "the notice is unloaded after the last table" gone "^Form1\$"
fi
check "no lock file is left" test ! -e "$folder/거래처.ldb"

for _ in $(seq 5); do
  kill -0 "$program" 2>/dev/null || break
  xdotool windowfocus "$form" 2>/dev/null
  sleep 0.5
  xdotool key alt+F4
  for _ in $(seq 10); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
done
check "closing the window ends the program" bash -c "! kill -0 $program 2>/dev/null"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
