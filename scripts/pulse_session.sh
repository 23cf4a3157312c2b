#!/usr/bin/env bash
# Runs a command with a private PulseAudio sound server of its own: a null sink
# (sound goes nowhere, but its monitor can be recorded), reached over a socket
# in a temporary folder. Nothing system-wide is read or changed, and the server
# is stopped when the command ends, however it ends.
#
#   scripts/pulse_session.sh COMMAND [ARGS...]
#
# The command sees PULSE_SERVER (so every PulseAudio client, libmpv's default
# audio output included, plays there), PULSE_SINK (the null sink's name),
# PULSE_MONITOR (its monitor source, for parec) and ORVANE_PRIVATE_PULSE=1
# (tests that play sound run only with it, never on someone's speakers).
#
# A null sink that no client has asked for a short latency renders two seconds
# ahead, so the first sound after the server starts comes late. To measure
# what is heard, record the monitor with a short latency (parec --latency-msec)
# from the start and let two seconds pass before playing.
set -uo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
for tool in pulseaudio pactl; do
  if ! command -v "$tool" >/dev/null; then
    echo "pulse_session: $tool is not installed (scripts/setup.sh installs it)" >&2
    exit 1
  fi
done

pulse_dir=$(mktemp -d "${TMPDIR:-/tmp}/orvane-pulse.XXXXXX")
pulse_pid=

stop_pulse() {
  if [ -n "$pulse_pid" ] && kill -0 "$pulse_pid" 2>/dev/null; then
    kill -TERM "$pulse_pid" 2>/dev/null
    for _ in $(seq 50); do
      kill -0 "$pulse_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pulse_pid" 2>/dev/null
    wait "$pulse_pid" 2>/dev/null
  fi
  rm -rf "$pulse_dir"
}
trap stop_pulse EXIT
trap 'exit 130' INT TERM HUP

mkdir -p "$pulse_dir/runtime" "$pulse_dir/state" "$pulse_dir/home"
chmod 700 "$pulse_dir/runtime"
socket=$pulse_dir/runtime/native
sink=orvane_null

# The server's own folders and the clients' settings all point into the
# temporary folder; no client may start a server of its own.
printf 'autospawn = no\n' >"$pulse_dir/client.conf"
export XDG_RUNTIME_DIR=$pulse_dir/runtime
export PULSE_RUNTIME_PATH=$pulse_dir/runtime
export PULSE_STATE_PATH=$pulse_dir/state
export PULSE_CLIENTCONFIG=$pulse_dir/client.conf
export PULSE_COOKIE=$pulse_dir/cookie

# -n: no default script, only the two modules named here. Never exits by
# itself while the command runs; no pid file, no daemon: this script owns it.
HOME=$pulse_dir/home pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 \
  --disallow-exit --disallow-module-loading=no --log-target=stderr --log-level=error \
  --load="module-null-sink sink_name=$sink rate=44100 channels=2" \
  --load="module-native-protocol-unix socket=$socket auth-anonymous=1" \
  2>"$pulse_dir/server.log" &
pulse_pid=$!

export PULSE_SERVER=unix:$socket
export PULSE_SINK=$sink
export PULSE_MONITOR=$sink.monitor
export ORVANE_PRIVATE_PULSE=1

ready=
for _ in $(seq 100); do
  if pactl info >/dev/null 2>&1; then
    ready=1
    break
  fi
  kill -0 "$pulse_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$ready" ]; then
  echo "pulse_session: the private sound server did not start" >&2
  cat "$pulse_dir/server.log" >&2
  exit 1
fi
pactl set-default-sink "$sink" >/dev/null 2>&1

"$@"
