#!/usr/bin/env bash
# How soon a seek is heard, through a private PulseAudio server whose null
# sink is recorded: one 40 s file, 400 Hz for its first 30 s and 600 Hz
# after, then a 2 s file at 800 Hz, played by the program on a virtual
# desktop. Ctrl+Right (forward 30 s) pressed 3 s into the 400 Hz part lands
# in the 600 Hz part; the time from the key press to the first 600 Hz heard
# is the seek's, and the time from the Play click to the first sound, in the
# same run, is the reference (what a start costs on this machine and server).
# The file then plays on from where the seek put it to its end and the next
# file follows: the longest silence there is the gap a seek leaves behind.
# Each is measured a few times, on the program and on the Windows program
# (orvane.exe under Wine, through Wine's PulseAudio driver, on its Media
# Foundation and WASAPI control and on MCI, where mingw-w64 and Wine are
# installed); the medians and their ratio are printed. Goal: the seek heard
# within 150 ms.
#
#   bench/seek_bench.sh [ROUNDS]
#
# ORVANE_EXE runs that program instead of building one; PROGRAMS names the
# ones measured (default: "orvane wasapi mci").
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  need_icewm
  [ -n "${ORVANE_EXE:-}" ] || build_orvane
  build_orvane_exe_if_possible
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
make_tone "$work/parts/high.mp3" 10 600
lame --quiet --decode "$work/parts/high.mp3" "$work/parts/high.wav"
python3 - "$work/parts/low.wav" "$work/parts/high.wav" "$work/parts/both.raw" <<'PY'
import sys, wave
out = b""
for name in sys.argv[1:3]:
    with wave.open(name) as w:
        out += w.readframes(w.getnframes())
open(sys.argv[3], "wb").write(out)
PY
lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$work/parts/both.raw" "$work/music/a long.mp3"
make_tone "$work/music/b next.mp3" 2 800
start_display
HOME=$work/home icewm >"$work/icewm.log" 2>&1 &
wm_pid=$!
start_recording

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

wait_heard() { # mark hz [tenths]
  local ms=
  for _ in $(seq "${3:-100}"); do
    ms=$(first_heard "$1" "$2")
    [ -n "$ms" ] && break
    sleep 0.1
  done
  echo "$ms"
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'
}

# The rounds on the program whose main window is $window: the medians of
# start and seek, and the largest silence after a seek, in one line.
measure() {
  local label=$1 starts=() seeks=() gaps=() where=() mark seek_mark end_mark heard
  for _ in $(seq "$rounds"); do
    point_at_button "$window" 3480 click 1 # Stop: the next Play starts the file at its start
    sleep 2
    mark=$(mark)
    point_at_button "$window" 6360 click 1
    starts+=("$(wait_heard "$mark" 0)")
    sleep 3
    seek_mark=$(mark)
    xdotool windowactivate --sync "$window" key ctrl+Right
    seeks+=("$(wait_heard "$seek_mark" 600)")
    # What the seek left to play (some 7 s), then the next file to its end.
    sleep 10
    end_mark=$(mark)
    heard=$(python3 "$source_dir/bench/gap_measure.py" "$recording" --rate "$rate" --files 2 --seconds 9 \
      --from "$((seek_mark + 2 * rate))" --to "$end_mark" --label "$label" --where)
    gaps+=("$(sed -n 's/.*max gap *\([0-9.]*\) ms.*/\1/p' <<<"$heard")")
    where+=("${heard##*silences: }")
  done
  printf '%-40s start %4s ms, seek heard %4s ms (goal: 150 ms), ratio seek / start %s, largest silence after it %s ms\n' \
    "$label" "$(printf '%s\n' "${starts[@]}" | median)" "$(printf '%s\n' "${seeks[@]}" | median)" \
    "$(awk -v s="$(printf '%s\n' "${seeks[@]}" | median)" -v r="$(printf '%s\n' "${starts[@]}" | median)" \
      'BEGIN { if (r > 0) printf "%.2f", s / r; else print "-" }')" \
    "$(printf '%s\n' "${gaps[@]}" | sort -n | tail -n 1)"
  echo "  (starts: ${starts[*]}; seeks: ${seeks[*]}; silences after a seek, ms@s from 1 s after it: ${where[*]})"
}

programs=" ${PROGRAMS:-orvane wasapi mci} "
if [[ $programs == *" orvane "* ]]; then
  write_settings 0 0 "$work/music"
  start_orvane "${ORVANE_EXE:-$build_dir/orvane}" XDG_STATE_HOME="$work/state" DBUS_SESSION_BUS_ADDRESS=disabled:
  measure "orvane (libmpv)"
  stop "$app_pid"
  app_pid=
fi

measure_orvane_exe() {
  local label=$1 media=$2
  have_orvane_exe && [[ $programs == *" $media "* ]] || return 0
  use_wine_prefix
  end_wine
  wine_settings "Version=$version" PlayOrder=2 Sub=0 Repeat=0 "PlayPath=$(winpath "$work/music")"
  wine_forget_place
  start_orvane_exe "$win_build/orvane.exe" "$work/wine-$media.log" ORVANE_MEDIA="$media" HOME="$work/home"
  if [ -z "$window" ]; then
    echo "seek_bench: the Windows program's main window did not appear" >&2
  else
    sleep 1
    measure "$label"
  fi
  stop "$app_pid"
  app_pid=
  end_wine
}
measure_orvane_exe "orvane.exe (Media Foundation + WASAPI)" wasapi
measure_orvane_exe "orvane.exe (MCI)" mci
