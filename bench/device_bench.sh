#!/usr/bin/env bash
# What a listener hears when the sound device goes away while a file plays
# and comes back, and what the program costs meanwhile. The device is a
# private PulseAudio server of this script's own (a null sink whose monitor
# is recorded), killed and started again on the same socket. The tree: three
# 12 s files, each its own tone (400, 500, 600 Hz), Subdirectories and Repeat
# All off.
#
#   bench/device_bench.sh [gone|late] [linux|wasapi|mci ...]
#
#   gone  the server is killed 6 s into the second file and started again
#         10 s later: prints the CPU share of one core while it is away (for
#         orvane.exe also its wineserver), the time from its return to the
#         first sound, and the tones heard after it, each with its length
#         (the 500 Hz file should play on with about 8 s left, from 2 s
#         before where it stopped, then the 600 Hz file whole)
#   late  orvane.exe starts with no sound device at all (the server is not
#         there and Wine's ALSA driver is off) and Play is pressed; the
#         server comes 5 s later: prints the time to the first sound and the
#         tones heard, and the silence between the first two files (a few
#         milliseconds through Media Foundation and WASAPI, a few hundred
#         through MCI)
#
# Without a program list: linux, wasapi and mci for gone; wasapi for late.
# ORVANE_EXE and ORVANE_WIN_EXE run other builds (to compare before and
# after); orvane.exe runs in build-mingw's Wine prefix. The figures move
# with the machine's load: compare runs made one after the other.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

scenario=${1:-gone}
shift || true
case $scenario in
  gone) programs=(linux wasapi mci) ;;
  late) programs=(wasapi) ;;
  *)
    echo "usage: $0 [gone|late] [linux|wasapi|mci ...]" >&2
    exit 2
    ;;
esac
[ $# -eq 0 ] || programs=("$@")

win_exe=${ORVANE_WIN_EXE:-$win_build/orvane.exe}
need_tools
for p in "${programs[@]}"; do
  case $p in
    linux) [ -n "${ORVANE_EXE:-}" ] || build_orvane ;;
    wasapi | mci) [ -n "${ORVANE_WIN_EXE:-}" ] || build_orvane_exe ;;
    *)
      echo "device_bench: no program $p" >&2
      exit 2
      ;;
  esac
done

rate=44100
make_work orvane-device-bench
pulse_pid=
trap 'stop "$pulse_pid"; cleanup' EXIT

# --- the sound server, on one socket across its restarts ---------------------------------

mkdir -p "$work/pulse/runtime" "$work/pulse/state" "$work/pulse/home"
chmod 700 "$work/pulse/runtime"
printf 'autospawn = no\n' >"$work/pulse/client.conf"
export XDG_RUNTIME_DIR=$work/pulse/runtime PULSE_RUNTIME_PATH=$work/pulse/runtime
export PULSE_STATE_PATH=$work/pulse/state PULSE_CLIENTCONFIG=$work/pulse/client.conf
export PULSE_COOKIE=$work/pulse/cookie PULSE_SERVER=unix:$work/pulse/runtime/native
export PULSE_SINK=orvane_null PULSE_MONITOR=orvane_null.monitor

# Starts the server and a new recording of its monitor ($recording); sets
# back_at to the time the server answered.
start_pulse() {
  HOME=$work/pulse/home pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 \
    --disallow-exit --log-target=stderr --log-level=error \
    --load="module-null-sink sink_name=$PULSE_SINK rate=$rate channels=2" \
    --load="module-native-protocol-unix socket=$work/pulse/runtime/native auth-anonymous=1" \
    2>>"$work/pulse/server.log" &
  pulse_pid=$!
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  pactl set-default-sink "$PULSE_SINK" >/dev/null 2>&1
  back_at=$(date +%s.%N)
  recording=$work/monitor-$back_at.raw
  parec --device="$PULSE_MONITOR" --latency-msec=10 --raw --format=s16le --rate="$rate" --channels=1 \
    >"$recording" 2>>"$work/parec.log" &
  rec_pid=$!
}
# The server dies as a crashed one does; its recorder goes with it.
kill_pulse() {
  kill -KILL "$pulse_pid" 2>/dev/null || true
  wait "$pulse_pid" 2>/dev/null || true
  pulse_pid=
  stop "$rec_pid"
  rec_pid=
  rm -f "$work/pulse/runtime/native"
}

# --- the music and what is heard of it ---------------------------------------------------

make_file() { # name seconds frequency
  python3 - "$work/tone.raw" "$rate" "$2" "$3" <<'PY'
import array, math, sys
path, rate, seconds, hz = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
tone = array.array("h", (round(8000 * math.sin(2 * math.pi * hz * i / rate)) for i in range(round(rate * seconds))))
if sys.byteorder != "little":
    tone.byteswap()
open(path, "wb").write(tone.tobytes())
PY
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$work/tone.raw" "$1" 2>/dev/null
}
mkdir -p "$work/music" "$work/state"
make_file "$work/music/track1.mp3" 12 400
make_file "$work/music/track2.mp3" 12 500
make_file "$work/music/track3.mp3" 12 600

# What a recording holds: the time to its first sound, the tones in order
# with their lengths, and the longest silence between two tones.
heard() { # recording
  PYTHONPATH="$source_dir/bench" python3 - "$1" "$rate" <<'PY'
import sys
from tone_runs import LOUD, samples_of, tone_runs
path, rate = sys.argv[1], int(sys.argv[2])
samples = samples_of(open(path, "rb").read())
step = rate // 100  # 10 ms
loud = [max((abs(s) for s in samples[i : i + step]), default=0) >= LOUD for i in range(0, len(samples), step)]
first = next((i for i, l in enumerate(loud) if l), None)
tones = [t for t in tone_runs(samples, rate) if t[0]]
gaps, last = [], None
for i, l in enumerate(loud):
    if l:
        if last is not None and i - last > 1:
            gaps.append((i - last - 1) * 10)
        last = i
print("first sound after %s; heard: %s; longest silence between sounds: %s ms" % (
    "none" if first is None else f"{first / 100:.2f} s",
    ", ".join(f"{hz}Hz {n / 20:.1f}s" for hz, n in tones) or "nothing",
    max(gaps, default=0)))
PY
}
into_tone() { # hz seconds: that far into the file with that tone, as heard
  for _ in $(seq 300); do
    PYTHONPATH="$source_dir/bench" python3 - "$recording" "$rate" "$1" <<'PY' && break
import sys
from tone_runs import pitch, samples_of
path, rate, hz = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, "rb").read()
part = samples_of(data[max(0, len(data) // 2 * 2 - rate) :])[-rate // 20 :]
sys.exit(0 if len(part) == rate // 20 and pitch(part) == hz else 1)
PY
    sleep 0.1
  done
  sleep "$2"
}
share() { # ticks seconds
  awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v s="$2" 'BEGIN { printf "%.1f %%", 100 * t / hz / s }'
}

# --- the programs ------------------------------------------------------------------------

start_display
write_settings 0 0 "$work/music"
use_wine_prefix
wine_overrides=$WINEDLLOVERRIDES
wineserver_pid() {
  local dir p
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for p in $(pgrep -x 'wineserver(64)?'); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$dir" ] && { echo "$p"; return 0; }
  done
  echo 0
}
start_program() { # linux|wasapi|mci
  if [ "$1" = linux ]; then
    start_orvane "${ORVANE_EXE:-$build_dir/orvane}" XDG_STATE_HOME="$work/state" DBUS_SESSION_BUS_ADDRESS=disabled:
  else
    end_wine
    WINEDLLOVERRIDES=$wine_overrides wine_settings "Version=$version" PlayOrder=2 Sub=0 Repeat=0 \
      "PlayPath=$(winpath "$work/music")"
    wine_forget_place
    start_orvane_exe "$win_exe" "$work/wine.log" ORVANE_MEDIA="$1" ORVANE_TRACE="$(winpath "$work/trace-$1.log")"
  fi
  sleep 1
}
end_program() { # linux|wasapi|mci
  if [ "$1" = linux ]; then
    point_at_button "$window" 3480 click 1 # Stop: no place is left for the next run
    sleep 0.3
    stop "$app_pid"
  else
    stop "$app_pid"
    end_wine
  fi
  app_pid=
}

# What orvane.exe's control was told and said: the files opened, where they
# started, and the completions by code.
traced() { # program
  local trace=$work/trace-$1.log
  [ -f "$trace" ] || return 0
  printf '%-7s files opened %s, started at (ms) %s; completions by code: %s\n' "" "$(grep -c '^Open' "$trace" || true)" \
    "$(grep '^StartAt' "$trace" | sort | uniq -c | awk '{ printf "%s%s x%s", s, $3, $1; s = ", " }')" \
    "$(grep '^Done' "$trace" | sort | uniq -c | awk '{ printf "%s%s x%s", s, $3, $1; s = ", " }')"
}

gone() { # program
  export WINEDLLOVERRIDES=$wine_overrides
  start_pulse
  sleep 2.5 # the null sink's first two seconds are rendered ahead
  start_program "$1"
  point_at_button "$window" 6360 click 1
  into_tone 500 6
  kill_pulse
  local server=0 a0 s0 a1 s1
  [ "$1" = linux ] || server=$(wineserver_pid)
  a0=$(cpu_ticks "$app_pid") s0=$(cpu_ticks "$server")
  sleep 10
  a1=$(cpu_ticks "$app_pid") s1=$(cpu_ticks "$server")
  start_pulse
  sleep 24
  local cost="program $(share $((a1 - a0)) 10)"
  [ "$1" = linux ] || cost="$cost, wineserver $(share $((s1 - s0)) 10)"
  printf '%-7s gone 6 s into the 500 Hz file for 10 s (%s of one core meanwhile); after its return: %s\n' \
    "$1" "$cost" "$(heard "$recording")"
  traced "$1"
  end_program "$1"
  kill_pulse
}

late() { # program
  export WINEDLLOVERRIDES="$wine_overrides;winealsa.drv=d"
  [ "$1" != linux ] || { echo "device_bench: late is for orvane.exe" >&2; return 0; }
  start_program "$1"
  point_at_button "$window" 6360 click 1
  sleep 5
  start_pulse
  sleep 40
  printf '%-7s started without a sound device, one 5 s after Play: %s\n' "$1" "$(heard "$recording")"
  traced "$1"
  end_program "$1"
  kill_pulse
}

for p in "${programs[@]}"; do
  "$scenario" "$p"
done
