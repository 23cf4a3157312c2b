#!/usr/bin/env bash
# How soon a seek is heard, through a private PulseAudio server whose null
# sink is recorded: one 60 s file, 400 Hz for its first 30 s and 600 Hz
# after, played by the program on a virtual desktop. Ctrl+Right (forward
# 30 s) pressed 3 s into the 400 Hz part lands in the 600 Hz part; the time
# from the key press to the first 600 Hz heard is the seek's, and the time
# from the Play click to the first sound, in the same run, is the reference
# (what a start costs on this machine and server). Each is measured a few
# times; the medians and their ratio are printed. Goal: the seek heard
# within 150 ms.
#
#   bench/seek_bench.sh [ROUNDS]
#
# ORVANE_EXE runs that program instead of building one.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  command -v icewm >/dev/null || { echo "seek_bench: icewm is not installed" >&2; exit 1; }
  [ -n "${ORVANE_EXE:-}" ] || build_orvane
  exec "$source_dir/scripts/pulse_session.sh" "$0" --inside "${1:-5}"
fi
rounds=$2

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
make_work orvane-seek-bench
wm_pid=
trap 'stop "$wm_pid"; cleanup' EXIT

mkdir -p "$work/music" "$work/parts"
make_tone "$work/parts/low.mp3" 30 400
lame --quiet --decode "$work/parts/low.mp3" "$work/parts/low.wav"
make_tone "$work/parts/high.mp3" 30 600
lame --quiet --decode "$work/parts/high.mp3" "$work/parts/high.wav"
python3 - "$work/parts/low.wav" "$work/parts/high.wav" "$work/parts/both.raw" <<'PY'
import sys, wave
out = b""
for name in sys.argv[1:3]:
    with wave.open(name) as w:
        out += w.readframes(w.getnframes())
open(sys.argv[3], "wb").write(out)
PY
lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$work/parts/both.raw" "$work/music/long.mp3"
start_display
write_settings 0 0 "$work/music"
HOME=$work/home icewm >"$work/icewm.log" 2>&1 &
wm_pid=$!
start_recording
start_orvane "${ORVANE_EXE:-$build_dir/orvane}" XDG_STATE_HOME="$work/state" DBUS_SESSION_BUS_ADDRESS=disabled:

# Milliseconds from a byte of the recording to the end of the first 10 ms
# window that holds the tone (any sound for 0), told by its zero crossings:
# an upper bound of when it was first heard, 10 ms at most late. Nothing when
# it never comes.
first_heard() { # mark hz
  PYTHONPATH="$source_dir/bench" python3 - "$recording" "$rate" "$1" "$2" <<'PY'
import sys
from tone_runs import samples_of, LOUD
path, rate, start, hz = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
with open(path, "rb") as f:
    f.seek(start - start % 2)
    samples = samples_of(f.read())
span = rate // 100
for at in range(0, len(samples) - span, span // 10):
    part = samples[at:at + span]
    if max(abs(s) for s in part) < LOUD:
        continue
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    if hz == 0 or round(crossings * 50 / 100) * 100 == hz:
        print(round((at + span) * 1000 / rate))
        break
PY
}

wait_heard() { # mark hz
  local ms=
  for _ in $(seq 100); do
    ms=$(first_heard "$1" "$2")
    [ -n "$ms" ] && break
    sleep 0.1
  done
  echo "$ms"
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'
}

starts=()
seeks=()
for _ in $(seq "$rounds"); do
  point_at_button "$window" 3480 click 1 # Stop: the next Play starts the file at its start
  sleep 2
  mark=$(mark)
  point_at_button "$window" 6360 click 1
  starts+=("$(wait_heard "$mark" 0)")
  sleep 3
  mark=$(mark)
  xdotool windowactivate --sync "$window" key ctrl+Right
  seeks+=("$(wait_heard "$mark" 600)")
  sleep 1
done
start_ms=$(printf '%s\n' "${starts[@]}" | median)
seek_ms=$(printf '%s\n' "${seeks[@]}" | median)
echo "start: Play to the first sound: ${starts[*]} ms, median ${start_ms} ms"
echo "seek:  Ctrl+Right to the new place heard: ${seeks[*]} ms, median ${seek_ms} ms (goal: 150 ms)"
awk -v s="$seek_ms" -v r="$start_ms" 'BEGIN { if (r > 0) printf "ratio seek / start: %.2f\n", s / r }'
