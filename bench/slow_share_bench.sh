#!/usr/bin/env bash
# Music on a slow share: a FUSE file system (tests/e2e/slow_share.py) that
# waits before every folder listing and every open, holding 7 files of 3 s in
# 4 folders, played with Subdirectories and Repeat All on through a private
# PulseAudio server whose sink is recorded. For each player, in the same run:
#   - the longest the window took to answer (Orvane: an MPRIS Get every 150 ms,
#     which the window thread serves);
#   - the silences between files (the first pass and into the second).
# Each silence is followed by where it fell, in seconds after the first sound.
# Players: Orvane as built here; ORVANE_BEFORE, another build of it (say, one
# from before a change), when given; the Windows program (orvane.exe, its
# Media Foundation and WASAPI control) under Wine, where mingw-w64 and Wine
# are installed, reading the share as its drive Z: (its silences only; the
# window's answers under Wine are timed by tests/e2e/wine_slow_share_test.sh),
# on the share waiting on reads rather than opens (see python_share);
# mpv --gapless-audio=yes on the same files.
#
# Under Wine a short silence may fall in the middle of a file some 15-20 s
# into the run: about 30 s after the registry changed (as it does when the
# program starts and opens the sound device), the Wine server writes the
# registry files out and answers no thread for 50-80 ms; Wine's PulseAudio
# driver waits on it while holding its lock and stops handing samples to the
# sound server, whose 30 ms run dry though the program's stream is full. A
# bare WASAPI client playing a tone, its stream kept full, has such silences
# too.
#
#   bench/slow_share_bench.sh [SECONDS_PER_CALL]    (default 1)
#
# WIN_BUILD_DIR names the Windows build (default build-mingw); ORVANE_EXE_BEFORE,
# another orvane.exe to compare with.
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
  build_orvane_exe_if_possible
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
# The share's wait falls on opens (and listings), or with --wait-on=read on
# reading (see slow_share.py): the Windows program runs on the latter, as
# under Wine a wait in an open holds every Wine thread.
python_share() {
  if mountpoint -q "$work/share" 2>/dev/null; then
    fusermount3 -u -z "$work/share"
    stop "$share_pid"
  fi
  /usr/bin/python3 "$source_dir/tests/e2e/slow_share.py" "$work/music" "$work/share" "$work/delay" "$@" \
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
  # Each run starts from the tree's first file: the run before was ended
  # while it played, and would otherwise play on by itself from its place.
  rm -rf "$work/home/.local/state/Orvane"
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
  results+=("$(gaps_heard "$label" "$from" "$to" --where | sed 's/; silences:/; window answered within '"$longest"' ms; silences:/')")
}

run_orvane "orvane" "$build_dir/orvane"
if [ -n "${ORVANE_BEFORE:-}" ]; then
  run_orvane "orvane (ORVANE_BEFORE)" "$ORVANE_BEFORE"
fi

# --- the Windows program under Wine, its sound through Wine's PulseAudio
# driver into the private server -----------------------------------------------
run_orvane_exe() {
  local label=$1 exe=$2 from to
  [ -f "$exe" ] && [ -x "$wine" ] || return 0
  use_wine_prefix
  end_wine
  wine_settings "Version=$version" PlayOrder=2 Sub=1 Repeat=1 "PlayPath=$(winpath "$work/share")"
  wine_forget_place
  start_orvane_exe "$exe" "$work/wine.log" ORVANE_MEDIA=wasapi
  if [ -z "$window" ]; then
    echo "slow_share_bench: the Windows program's main window did not appear" >&2
  else
    sleep 1
    from=$(mark)
    point_at_button "$window" 6360 click 1
    sleep "$(awk -v t="$total" -v s="$seconds_per_file" -v d="$delay" 'BEGIN { print t - s / 2 + 8 * d + 1 }')"
    to=$(mark)
    results+=("$(gaps_heard "$label" "$from" "$to" --where)")
  fi
  stop "$app_pid"
  app_pid=
  end_wine
}
if have_orvane_exe; then
  python_share --wait-on=read
  run_orvane_exe "orvane.exe (WASAPI)" "$win_build/orvane.exe"
  if [ -n "${ORVANE_EXE_BEFORE:-}" ]; then
    run_orvane_exe "orvane.exe (ORVANE_EXE_BEFORE)" "$ORVANE_EXE_BEFORE"
  fi
  python_share
fi

from=$(mark)
mpv --no-config --really-quiet --vo=null --gapless-audio=yes --loop-playlist=2 "${list[@]}" >"$work/mpv.log" 2>&1 &
mpv_pid=$!
sleep "$(awk -v t="$total" -v s="$seconds_per_file" -v d="$delay" 'BEGIN { print t - s / 2 + 8 * d + 1 }')"
to=$(mark)
stop "$mpv_pid"
results+=("$(gaps_heard "mpv --gapless-audio=yes" "$from" "$to" --where)")

echo "share: $delay s before each listing and each open (orvane.exe: each listing and each file's first read);" \
  "${#names[@]} files of $seconds_per_file s in 4 folders"
printf '%s\n' "${results[@]}"
