#!/usr/bin/env bash
# How long a listener waits for a folder handed to the running program to
# sound: from the second start `orvane FOLDER`, and from `playerctl open`, to
# the new folder's first sample heard, through a real sound server and a
# private session bus. Before each measure the running copy is made to play
# another folder and paused; the new folder's tone is told by its pitch from
# whatever the pause leaves to be heard. For reference, mpv started on the same file from its command
# line, in the same run. Prints the median (and range) of each.
#
#   bench/handover_bench.sh              RUNS=7 by default
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  command -v dbus-run-session >/dev/null && command -v playerctl >/dev/null ||
    { echo "$(basename "$0"): dbus-run-session and playerctl are needed (scripts/setup.sh installs them)" >&2; exit 1; }
  build_orvane
  exec "$source_dir/scripts/pulse_session.sh" dbus-run-session -- "$0" --inside
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
runs=${RUNS:-7}

make_work orvane-handover
make_tone "$work/long.mp3" 60 400
make_tone "$work/short.mp3" 1 800
mkdir -p "$work/playing" "$work/new"
cp "$work/long.mp3" "$work/playing/a.mp3"
cp "$work/short.mp3" "$work/new/First song.mp3"
sync

start_recording
start_display
write_settings 0 0 "$work/playing"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state QT_QPA_PLATFORM=xcb
start_orvane "$build_dir/orvane"

mpris() {
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.orvane /org/mpris/MediaPlayer2 \
    "org.mpris.MediaPlayer2.Player.$1" "${@:2}" >/dev/null
}

# The running copy plays the other folder, then pauses: silence.
quiet_again() {
  "$build_dir/orvane" "$work/playing"
  sleep 0.6
  mpris Pause
  sleep 0.3
}

second_start_once() {
  quiet_again
  FIRST_SOUND_HZ=800 first_sound_ms "$build_dir/orvane" "$work/new"
}

playerctl_once() {
  quiet_again
  FIRST_SOUND_HZ=800 first_sound_ms playerctl -p orvane open "file://$work/new"
}

mpv_once() {
  FIRST_SOUND_HZ=800 first_sound_ms mpv --no-config --really-quiet --vo=null --length=0.5 "$work/new/First song.mp3"
  sleep 0.8
}

series() {
  local out=()
  for _ in $(seq "$runs"); do
    out+=("$("$1")")
  done
  summary "${out[@]}"
}

find "$work" >/dev/null # warm
second=$(series second_start_once)
open=$(series playerctl_once)
reference=$(series mpv_once)

printf '%-40s %s\n' "to the new folder's first sound" "warm, local folder"
printf '%-40s %s\n' "orvane FOLDER, a second start" "$second"
printf '%-40s %s\n' "playerctl open file://FOLDER" "$open"
printf '%-40s %s\n' "mpv FILE (reference)" "$reference"
