#!/usr/bin/env bash
# Runs a test in an X display of its own, managed by openbox, as a desktop
# user's windows are: the window manager decides focus and activation.
set -euo pipefail
dir="$(mktemp -d)"
cleanup() {
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$dir/display")"
HOME="$dir" openbox --sm-disable >/dev/null 2>&1 &
wm=$!
# Openbox has taken the screen once it names itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.05
done
QUORVANA_TEST_WINDOWS=1 QT_QPA_PLATFORM=xcb "$@"
