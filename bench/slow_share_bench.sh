#!/usr/bin/env bash
# Music on a slow share: a FUSE file system (tests/e2e/slow_share.py) that
# waits before every folder listing and every open, holding 7 files of 3 s in
# 4 folders, played with Subdirectories and Repeat All on through a private
# PulseAudio server whose sink is recorded. For each player, in the same run:
#   - the longest the window took to answer (Orvane: an MPRIS Get every 150 ms,
#     which the window thread serves);
#   - the silences between files (the first pass and into the second).
# Players: Orvane as built here; ORVANE_BEFORE, another build of it (say, one
# from before a change), when given; mpv --gapless-audio=yes on the same files.
#
#   bench/slow_share_bench.sh [SECONDS_PER_CALL]    (default 1)
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" = --inside ]; then
  delay=$2
elif [ -z "${ORVANE_PRIVATE_BUS:-}" ]; then
  need_tools
  for tool in dbus-run-session dbus-send fusermount3 mountpoint; do
    command -v "$tool" >/dev/null || { echo "slow_share_bench: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
  done
  build_orvane
  exec dbus-run-session -- env ORVANE_PRIVATE_BUS=1 "$source_dir/scripts/pulse_session.sh" "$0" --inside "${1:-1}" \
    2> >(grep -v '^dbus-daemon\[' >&2)
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
seconds_per_file=3
names=(A/a1 A/a2 B/b1 B/C/c1 B/C/c2 D/d1 D/d2)
files=$((${#names[@]} + 1)) # one pass, and the first file of the next
total=$(awk -v n="$files" -v s="$seconds_per_file" 'BEGIN { printf "%.3f", n * s }')

make_work orvane-slow-share
share_pid=
sampler_pid=
finish() {
  stop "$sampler_pid"
  mountpoint -q "$work/share" 2>/dev/null && fusermount3 -u -z "$work/share"
  stop "$share_pid"
  cleanup
}
trap finish EXIT

make_tone "$work/tone.mp3" "$seconds_per_file"
list=()
for name in "${names[@]}"; do
  mkdir -p "$work/music/$(dirname "$name")"
  cp "$work/tone.mp3" "$work/music/$name.mp3"
  list+=("$work/share/$name.mp3")
done
mkdir -p "$work/share"
echo "$delay" >"$work/delay"
python_share() {
  /usr/bin/python3 "$source_dir/tests/e2e/slow_share.py" "$work/music" "$work/share" "$work/delay" \
    >"$work/share.log" 2>&1 &
  share_pid=$!
  for _ in $(seq 100); do
    mountpoint -q "$work/share" && return 0
    sleep 0.1
  done
  echo "slow_share_bench: the share did not mount" >&2
  exit 1
}
python_share

start_recording
results=()

prop_ms() {
  local t0 t1
  t0=$(date +%s%N)
  timeout 10 dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.orvane /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:PlaybackStatus >/dev/null 2>&1 || true
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}
sample() {
  while true; do
    prop_ms
    sleep 0.15
  done
}

start_display
run_orvane() {
  local label=$1 exe=$2 from to
  write_settings 1 1 "$work/share"
  start_orvane "$exe"
  sleep 1
  sample >"$work/waits" &
  sampler_pid=$!
  from=$(mark)
  point_at_button "$window" 6360 click 1
  # One pass and half of the next one's first file, plus what the share
  # costs before the first sound.
  sleep "$(awk -v t="$total" -v s="$seconds_per_file" -v d="$delay" 'BEGIN { print t - s / 2 + 8 * d + 1 }')"
  to=$(mark)
  stop "$sampler_pid"
  sampler_pid=
  stop "$app_pid"
  app_pid=
  local longest
  longest=$(sort -n "$work/waits" | tail -n 1)
  results+=("$(gaps_heard "$label" "$from" "$to" | sed 's/; silences:/; window answered within '"$longest"' ms; silences:/')")
}

run_orvane "orvane" "$build_dir/orvane"
if [ -n "${ORVANE_BEFORE:-}" ]; then
  run_orvane "orvane (ORVANE_BEFORE)" "$ORVANE_BEFORE"
fi

from=$(mark)
mpv --no-config --really-quiet --vo=null --gapless-audio=yes --loop-playlist=2 "${list[@]}" >"$work/mpv.log" 2>&1 &
mpv_pid=$!
sleep "$(awk -v t="$total" -v s="$seconds_per_file" -v d="$delay" 'BEGIN { print t - s / 2 + 8 * d + 1 }')"
to=$(mark)
stop "$mpv_pid"
results+=("$(gaps_heard "mpv --gapless-audio=yes" "$from" "$to")")

echo "share: $delay s before each listing and each open; ${#names[@]} files of $seconds_per_file s in 4 folders"
printf '%s\n' "${results[@]}"
