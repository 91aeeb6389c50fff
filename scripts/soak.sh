#!/usr/bin/env bash
# Leaves the real player running under Xvfb, walking with "Auto-Advance"
# through a folder of every kind of file it plays (a MIDI song, an RMI song,
# a wave sound, an AVI video) and one it refuses, pass after pass, with the
# GM reset before every track, as a user leaving it on all day would.
#
#   scripts/soak.sh [MINUTES]     (none or 0: two passes)
#
# Every few seconds it writes resident memory, descriptors, threads and CPU
# to soak.csv in the work folder (kept and named at the end). Each pass ends
# at the refused file, where the walk stops; once the player has rested, its
# figures are compared with those after the first pass, which has loaded
# everything once. It fails when a later pass ends with more resident memory
# than RSS_BOUND_KIB over the first (default 4096), more descriptors or more
# threads, when resting costs more than two ticks (20 ms) of CPU a second
# (the card and the synthesizer let go within it; a spinning thread costs a
# hundred), or when the walk stalls. QUORVANA_SOAK_BUILD names the build to
# take the player from (default build/release, built when needed).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-0}
bound_kib=${RSS_BOUND_KIB:-4096}
build=${QUORVANA_SOAK_BUILD:-build/release}
settle=4 # the sound card closes after 3 s of rest

bash scripts/deps.sh --tests
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset "$(basename "$build")" >/dev/null
fi
cmake --build "$build" --target quorvana >/dev/null

work=$(mktemp -d)
# A copy, so that building on during a long run leaves it alone.
mkdir -p "$work/bin"
cp "$build/app/quorvana" "$build/app/quorvana-video.so" "$work/bin/"
player="$work/bin/quorvana"
xvfb=""
bus=""
pid=""
cleanup() {
  local rc=$?
  set +e # the player's own status, killed, is not the run's
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  [ -n "$bus" ] && kill "$bus" 2>/dev/null
  rm -rf "$work"
  exit "$rc"
}
trap cleanup EXIT

# The folder: files of two seconds each, listed in this order.
media="$work/media"
mkdir -p "$media" "$work/home"
# One format-0 track: four notes of a quarter each at 120 bpm.
printf 'MThd\0\0\0\6\0\0\0\1\1\xe0MTrk\0\0\0\x24\0\x90\x3c\x64\x83\x60\x80\x3c\0\0\x90\x40\x64\x83\x60\x80\x40\0\0\x90\x43\x64\x83\x60\x80\x43\0\0\xff\x2f\0' \
  > "$media/a-song.mid"
python3 - "$media/a-song.mid" "$media/b-song.rmi" <<'PY'
import struct, sys
smf = open(sys.argv[1], 'rb').read()
data = b'RMID' + b'data' + struct.pack('<I', len(smf)) + smf + (b'\0' if len(smf) % 2 else b'')
open(sys.argv[2], 'wb').write(b'RIFF' + struct.pack('<I', len(data)) + data)
PY
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=2" "$media/c-tone.wav"
ffmpeg -loglevel error -f lavfi -i testsrc=size=160x120:rate=10:duration=2 \
  -f lavfi -i "sine=frequency=300:duration=2" -c:v mjpeg -c:a pcm_s16le "$media/d-clip.avi"
printf 'RIFF\4\0\0\0WAVEnot a sound at all' > "$media/z-refused.wav"

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A session bus of its own: the player answers the desktop's controls
# throughout, as on a desktop.
{ read -r bus_address; read -r bus; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)

cd "$media"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
  XDG_CACHE_HOME="$work/home/cache" QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy \
  DBUS_SESSION_BUS_ADDRESS="$bus_address" "$player" 2> "$work/player.log" &
pid=$!
cd - >/dev/null

window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Quorvana$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "soak: the player's window did not appear"
  cat "$work/player.log"
  exit 1
fi
sleep 1
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
click 240 40 # "GM"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }
threads() { awk '/^Threads:/ { print $2 }' "/proc/$pid/status"; }
fds() { ls "/proc/$pid/fd" | wc -l; }
passes_done() { grep -c "z-refused.wav" "$work/player.log" || true; }
alive() { kill -0 "$pid" 2>/dev/null; }

csv="$work/soak.csv"
echo "seconds,pass,rss_kib,fds,threads,cpu_percent" > "$csv"
start=$(date +%s)
last_ticks=$(cpu_ticks)
last_time=$start
sample() {
  local now t
  now=$(date +%s)
  t=$(cpu_ticks)
  echo "$((now - start)),$1,$(rss_kib),$(fds),$(threads),$(( (t - last_ticks) * 100 / ticks / (now - last_time > 0 ? now - last_time : 1) ))" >> "$csv"
  last_ticks=$t
  last_time=$now
}

failed=0
pass=0
base_rss="" base_fds="" base_threads=""
summary="$work/passes.txt"
: > "$summary"
while :; do
  pass=$((pass + 1))
  click 180 63 # the list's first file starts the walk
  deadline=$(( $(date +%s) + 60 ))
  next_sample=0
  while [ "$(passes_done)" -lt "$pass" ]; do
    if ! alive; then
      echo "soak: the player died in pass $pass"
      tail -n 20 "$work/player.log"
      exit 1
    fi
    if [ "$(date +%s)" -ge "$deadline" ]; then
      echo "soak: pass $pass did not reach the refused file within 60 s"
      tail -n 20 "$work/player.log"
      exit 1
    fi
    if [ "$(date +%s)" -ge "$next_sample" ]; then
      sample "$pass"
      next_sample=$(( $(date +%s) + 3 ))
    fi
    sleep 0.5
  done
  # At rest: nothing plays, the card has closed.
  sleep 1
  before=$(cpu_ticks)
  sleep "$settle"
  idle=$(( $(cpu_ticks) - before ))
  sample "$pass"
  rss=$(rss_kib) fd=$(fds) th=$(threads)
  echo "pass $pass: rss ${rss} KiB, $fd descriptors, $th threads, resting ${idle} ticks in ${settle} s" | tee -a "$summary"
  if [ "$idle" -gt $((2 * settle)) ]; then
    echo "soak: resting after pass $pass took $idle ticks of CPU in $settle s"
    failed=1
  fi
  if [ -z "$base_rss" ]; then
    base_rss=$rss base_fds=$fd base_threads=$th
  else
    if [ "$rss" -gt $((base_rss + bound_kib)) ]; then
      echo "soak: resident memory grew by $((rss - base_rss)) KiB since the first pass (bound $bound_kib)"
      failed=1
    fi
    if [ "$fd" -gt "$base_fds" ] || [ "$th" -gt "$base_threads" ]; then
      echo "soak: descriptors $base_fds -> $fd, threads $base_threads -> $th since the first pass"
      failed=1
    fi
  fi
  [ "$failed" -eq 0 ] || break
  elapsed=$(( $(date +%s) - start ))
  if [ "$minutes" -le 0 ]; then
    [ "$pass" -ge 2 ] && break
  elif [ "$elapsed" -ge $((minutes * 60)) ]; then
    break
  fi
done

refusals=$(grep -c "^quorvana: " "$work/player.log" || true)
others=$(grep "^quorvana: " "$work/player.log" | grep -vc "z-refused.wav" || true)
kept="${TMPDIR:-/tmp}/quorvana-soak-$(date +%Y%m%d-%H%M%S).csv"
cp "$csv" "$kept"
echo "soak: $pass passes in $(( $(date +%s) - start )) s; $refusals refusals, $others of them of good files; samples in $kept"
if [ "$others" -gt 0 ]; then
  grep "^quorvana: " "$work/player.log" | grep -v "z-refused.wav" | sort | uniq -c
  failed=1
fi
exit "$failed"
