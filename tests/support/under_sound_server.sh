#!/usr/bin/env bash
# Runs a test with a sound server of its own, as a Debian desktop runs one:
# PipeWire, WirePlumber and PipeWire's PulseAudio service in a private runtime
# folder, on a session bus of the test's own. No sink is made here: the test
# makes its null sinks. The test restarts the server mid-track with
#   "$QUORVANA_SOUND_SERVER" stop|start
# kills it as a crash does with "kill", and starts it with "start-held MS":
# PipeWire takes its clients' connections but answers none for MS
# milliseconds, as a loaded machine's server may, before the rest starts.
# A machine without the server skips the test (exit 77) with a message.
#
#   under_sound_server.sh COMMAND...
set -euo pipefail

programs=(pipewire wireplumber pipewire-pulse pactl)

start_server() {
  cd "$QUORVANA_SOUND_SERVER_DIR"
  rm -f "$XDG_RUNTIME_DIR/pipewire-0"
  pipewire >>server.log 2>&1 &
  echo $! >pipewire.pid
  # WirePlumber and the PulseAudio service need PipeWire's socket first.
  for _ in $(seq 200); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.025; done
  if [ -n "${1:-}" ]; then
    kill -STOP "$(cat pipewire.pid)"
    sleep "$(awk "BEGIN { print $1 / 1000 }")"
    kill -CONT "$(cat pipewire.pid)"
  fi
  wireplumber >>server.log 2>&1 &
  echo $! >wireplumber.pid
  pipewire-pulse >>server.log 2>&1 &
  echo $! >pipewire-pulse.pid
  # Ready once the PulseAudio service answers and the session manager has
  # linked the graph (it names a default sink, even a dummy one).
  for _ in $(seq 400); do
    pactl info 2>/dev/null | grep -q '^Default Sink: ' && return 0
    sleep 0.025
  done
  echo "under_sound_server.sh: the sound server did not start; its log:" >&2
  cat server.log >&2
  return 1
}

stop_server() {
  cd "$QUORVANA_SOUND_SERVER_DIR"
  local pids=()
  for name in pipewire-pulse wireplumber pipewire; do
    if [ -s "$name.pid" ]; then
      pids+=("$(cat "$name.pid")")
      kill "$(cat "$name.pid")" 2>/dev/null || true
      rm -f "$name.pid"
    fi
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.025; done
    kill -9 "$pid" 2>/dev/null || true
  done
}

kill_server() {
  cd "$QUORVANA_SOUND_SERVER_DIR"
  for name in pipewire-pulse wireplumber pipewire; do
    if [ -s "$name.pid" ]; then
      pid="$(cat "$name.pid")"
      kill -9 "$pid" 2>/dev/null || true
      # Gone, or a zombie that nobody may be left to reap.
      for _ in $(seq 200); do
        grep -qv '^[0-9]* (.*) Z' "/proc/$pid/stat" 2>/dev/null || break
        sleep 0.01
      done
      rm -f "$name.pid"
    fi
  done
}

case "${1:-}" in
  start) start_server; exit ;;
  start-held) start_server "$2"; exit ;;
  stop) stop_server; exit ;;
  kill) kill_server; exit ;;
esac

for p in "${programs[@]}"; do
  if ! command -v "$p" >/dev/null; then
    echo "Skipped: $p is not installed (scripts/deps.sh --tests installs the sound server)."
    exit 77
  fi
done

# A bus of the test's own, as a desktop session has one.
if [ -z "${QUORVANA_TEST_BUS:-}" ]; then
  QUORVANA_TEST_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

dir="$(mktemp -d)"
export QUORVANA_SOUND_SERVER_DIR="$dir"
export QUORVANA_SOUND_SERVER="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
# Everything the servers keep (the restored volumes, the default sink) lives
# and dies with the test.
mkdir -m 700 "$dir/run"
export XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state"
export PULSE_SERVER="unix:$dir/run/pulse/native"
unset PIPEWIRE_REMOTE PULSE_COOKIE || true
cleanup() {
  stop_server
  rm -rf "$dir"
}
trap cleanup EXIT
start_server
cd - >/dev/null
"$@"
