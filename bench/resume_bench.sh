#!/usr/bin/env bash
# What a listener hears of the place kept across the program's end, through a
# private PulseAudio server whose null sink is recorded. A tree of three 12 s
# files, each its own tone (400, 500, 600 Hz), so that the recording tells
# which file sounds:
#   kill   killed 9 s into the second file: how much of that file the next
#          start plays by itself (3 to 8 s wanted)
#   close  closed by the user 7 s into the first file: whether the next start
#          is quiet, then how much of that file Play plays (5 to 10 s wanted)
#   stop   Stop, then Play: how much of the first file is heard (all 12 s)
#   wine   orvane.exe under Wine (where build-mingw holds it), killed the same
#          way as in kill, on each of its media controls
# Prints, for each, the tones heard after the restart or Play in order, each
# with its length.
#
#   bench/resume_bench.sh
#
# ORVANE_EXE runs that program instead of building one.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  need_icewm
  [ -n "${ORVANE_EXE:-}" ] || build_orvane
  exec "$source_dir/scripts/pulse_session.sh" "$0" --inside
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
make_work orvane-resume-bench
wm_pid=
trap 'stop "$wm_pid"; cleanup' EXIT

mkdir -p "$work/music" "$work/state"
make_tone "$work/music/track1.mp3" 12 400
make_tone "$work/music/track2.mp3" 12 500
make_tone "$work/music/track3.mp3" 12 600
start_display
write_settings 0 0 "$work/music"
HOME=$work/home icewm >"$work/icewm.log" 2>&1 &
wm_pid=$!
start_recording

start_app() {
  start_orvane "${ORVANE_EXE:-$build_dir/orvane}" XDG_STATE_HOME="$work/state" DBUS_SESSION_BUS_ADDRESS=disabled:
}
kill_app() {
  kill -KILL "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  app_pid=
}

# The tones heard in the recording from a byte on: "400Hz 5.2s, 500Hz 12.0s".
tones_from() {
  PYTHONPATH="$source_dir/bench" python3 - "$recording" "$rate" "$1" "${2:-}" <<'PY'
import sys
from tone_runs import samples_of, tone_runs
path, rate, start, end = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
with open(path, "rb") as f:
    f.seek(start - start % 2)
    data = f.read() if not end else f.read(int(end) - start + start % 2)
merged = tone_runs(samples_of(data), rate)
print(", ".join(("silence" if hz == 0 else f"{hz}Hz") + f" {n / 20:.1f}s" for hz, n in merged))
PY
}

# Waits until the recording from a byte on holds the tone, then the seconds
# given more: that far into the file with that tone, as heard.
into_tone() { # mark hz seconds
  for _ in $(seq 400); do
    tones_from "$1" | grep -q "$2Hz" && break
    sleep 0.1
  done
  sleep "$3"
}

# --- killed 9 s into the second file ---------------------------------------------------

start_app
mark=$(mark)
point_at_button "$window" 6360 click 1
into_tone "$mark" 500 9
kill_app
mark=$(mark)
start_app
sleep 16
echo "kill:  killed 9 s into the 500 Hz file; heard after the start: $(tones_from "$mark")"
kill_app

# --- closed by the user 7 s into the first file ----------------------------------------

start_app
point_at_button "$window" 3480 click 1 # Stop: the place from the kill goes
sleep 0.5
mark=$(mark)
point_at_button "$window" 6360 click 1
into_tone "$mark" 400 7
xdotool windowactivate --sync "$window" key alt+F4
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
wait "$app_pid" 2>/dev/null || true
app_pid=
mark=$(mark)
start_app
sleep 3
quiet_end=$(mark)
point_at_button "$window" 6360 click 1
sleep 14
echo "close: closed 7 s into the 400 Hz file; before Play: $(tones_from "$mark" "$quiet_end"); after Play: $(tones_from "$quiet_end")"

# --- Stop, then Play ---------------------------------------------------------------------

point_at_button "$window" 3480 click 1
sleep 1
mark=$(mark)
point_at_button "$window" 6360 click 1
sleep 14
echo "stop:  Play after Stop; heard: $(tones_from "$mark")"

# --- orvane.exe under Wine, killed 9 s into the second file ------------------------------

have_orvane_exe || exit 0
use_wine_prefix
start_exe() {
  start_orvane_exe "$win_build/orvane.exe" "$work/wine.log" ORVANE_MEDIA="$1"
}
kill -KILL "$app_pid" 2>/dev/null || true
app_pid=
stop "$wm_pid"
wm_pid=
end_wine
for media in wasapi mci; do
  "$wine" reg delete 'HKCU\Software\Orvane' /f >/dev/null 2>&1 || true
  wine_settings "Version=$version" PlayOrder=2 Sub=0 Repeat=0 "PlayPath=$(winpath "$work/music")"
  start_exe "$media"
  sleep 1
  mark=$(mark)
  point_at_button "$window" 6360 click 1
  into_tone "$mark" 500 9
  kill_app
  end_wine
  mark=$(mark)
  start_exe "$media"
  sleep 16
  echo "wine ($media): killed 9 s into the 500 Hz file; heard after the start: $(tones_from "$mark")"
  kill_app
  end_wine
done
