#!/usr/bin/env bash
# Runs a test in an X display of its own, managed by openbox, as a desktop
# user's windows are: the window manager decides focus and activation.
#
# With --two-screens first, the display has two screens side by side, the
# host's (A, the primary as the first) and the room's (B). They are RandR
# monitors on one wide Xvfb screen, as Qt and openbox both follow them: a test
# unplugs B with `xrandr --delmonitor B` and plugs it back with --setmonitor,
# and the window system tells of it as of a real screen. (Xvfb's Xinerama
# lays its screens over each other: Qt sees one.)
set -euo pipefail
screens=one
if [ "${1:-}" = --two-screens ]; then
  screens=two
  shift
fi
dir="$(mktemp -d)"
cleanup() {
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
size=1024x768x24
[ "$screens" = two ] && size=2048x768x24
Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$dir/display" 2>/dev/null &
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
if [ "$screens" = two ]; then
  # Set while openbox is connected: the server forgets them when its last
  # client goes.
  xrandr --setmonitor A 1024/270x768/203+0+0 screen >/dev/null
  xrandr --setmonitor B 1024/270x768/203+1024+0 none
fi
QUORVANA_TEST_WINDOWS=1 QT_QPA_PLATFORM=xcb "$@"
