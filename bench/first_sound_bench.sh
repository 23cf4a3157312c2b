#!/usr/bin/env bash
# How long a listener waits for the first sound after clicking Play, through a
# real sound server. Builds the program, starts a private PulseAudio server
# with a null sink, records the sink's monitor, and for each play path starts
# Orvane on a virtual X display, presses Play with the mouse and measures from
# the click to the first sample heard. Two play paths (name order,
# Subdirectories on), each holding one file of its own:
#   - "1 folder": nothing else;
#   - "20,000 folders": also 100 folders of 199 subfolders each;
# each with a warm cache and, where /proc/sys/vm/drop_caches may be written, a
# cold one (dropped after the window is up, before the click). For reference,
# mpv started on the same file from its command line, in the same run.
# Prints the median (and range) of each, side by side.
#
#   bench/first_sound_bench.sh              RUNS=5 COLD_RUNS=3 by default
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"

if [ "${1:-}" != --inside ]; then
  for tool in Xvfb xdotool xwininfo xprop pulseaudio parec pactl lame mpv python3; do
    if ! command -v "$tool" >/dev/null; then
      echo "first_sound_bench: $tool is not installed (scripts/setup.sh installs it)" >&2
      exit 1
    fi
  done
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j2 --target orvane >/dev/null
  exec "$source_dir/scripts/pulse_session.sh" "$0" --inside
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
runs=${RUNS:-5}
cold_runs=${COLD_RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-first-sound.XXXXXX")
xvfb_pid=
app_pid=
rec_pid=

stop() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  stop "$app_pid"
  stop "$rec_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the play paths ---------------------------------------------------------------
python3 - "$work/tone.raw" "$rate" <<'EOF'
import array, math, sys
path, rate = sys.argv[1], int(sys.argv[2])
tone = array.array("h", (round(8000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(rate * 2)))
if sys.byteorder != "little":
    tone.byteswap()
with open(path, "wb") as f:
    f.write(tone.tobytes())
EOF
lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$work/tone.raw" "$work/tone.mp3" 2>/dev/null
one=$work/one
many=$work/many
mkdir -p "$one" "$many"
cp "$work/tone.mp3" "$one/First song.mp3"
cp "$work/tone.mp3" "$many/First song.mp3"
python3 - "$many" <<'EOF'
import os, sys
root = sys.argv[1]
for a in range(100):
    artist = os.path.join(root, "Artist %d" % a)
    os.mkdir(artist)
    for b in range(199):
        album = os.path.join(artist, "Album %d" % b)
        os.mkdir(album)
        open(os.path.join(album, "cover.jpg"), "wb").close()
EOF
sync

can_drop=no
if (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
  can_drop=yes
fi

# --- the recording: one for the whole run ------------------------------------------
recording=$work/monitor.raw
parec --device="$PULSE_MONITOR" --latency-msec=10 --raw --format=s16le --rate="$rate" --channels=1 \
  >"$recording" 2>"$work/parec.log" &
rec_pid=$!
# A null sink that nobody has asked for low latency renders two seconds ahead;
# only after that does the recorder's latency hold.
sleep 2.5

# Runs the command given (a click, or a player started) and prints the
# milliseconds from just before it to the first sample heard, waiting for it
# up to 15 s ("-" when none comes). The recording reaches its file in chunks,
# so the sample that was current at the moment of the command is worked out
# from the clock: before it, the file's growth is watched for a while, and the
# freshest chunk seen fixes how the recording's sample count follows the
# clock. Leftover sound of the previous run is waited out first.
first_sound_ms() {
  python3 - "$recording" "$rate" "$@" <<'EOF'
import array, os, subprocess, sys, time
path, rate, command = sys.argv[1], int(sys.argv[2]), sys.argv[3:]

def samples_from(offset):
    with open(path, "rb") as f:
        f.seek(offset)
        data = f.read()
    data = data[: len(data) - len(data) % 2]
    s = array.array("h")
    s.frombytes(data)
    return s

def loud(s):
    return next((i for i, v in enumerate(s) if abs(v) > 500), None)

deadline = time.monotonic() + 10
while time.monotonic() < deadline:
    size = os.path.getsize(path)
    if loud(samples_from(max(0, size - size % 2 - rate // 2 * 2))) is None:
        break
    time.sleep(0.05)

# bytes = 2 * rate * t + lead, the lead at its largest for the freshest chunk
lead = None
watch_until = time.monotonic() + 0.4
while time.monotonic() < watch_until:
    t = time.monotonic()
    candidate = os.path.getsize(path) - 2 * rate * t
    lead = candidate if lead is None else max(lead, candidate)
    time.sleep(0.001)

t0 = time.monotonic()
subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
start = int(2 * rate * t0 + lead)
start -= start % 2
offset = start
deadline = time.monotonic() + 15
while time.monotonic() < deadline:
    s = samples_from(offset)
    i = loud(s)
    if i is not None:
        print("%.0f" % ((offset - start) / 2 / rate * 1000 + i / rate * 1000))
        sys.exit(0)
    offset += 2 * len(s)
    time.sleep(0.01)
print("-")
EOF
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")"

version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
mkdir -p "$work/config" "$work/home"

main_window() {
  local w
  for w in $(xdotool search --name '^MP3 Orvane$' 2>/dev/null); do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' \
      && xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_NORMAL; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# One click on Play: prints the milliseconds to the first sound.
orvane_once() {
  local path=$1 cold=$2 main=
  printf '[General]\nVersion=%s\nPlayOrder=2\nSub=1\nRepeat=0\nPlayPath=%s\n' "$version" "$path" \
    >"$work/config/Orvane.conf"
  env -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
    "$build_dir/orvane" >"$work/app.log" 2>&1 &
  app_pid=$!
  for _ in $(seq 100); do
    main=$(main_window) && break
    sleep 0.1
  done
  if [ -z "$main" ]; then
    echo "first_sound_bench: the main window did not appear" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
  sleep 0.7
  read -r main_w main_h < <(xwininfo -id "$main" | awk '/^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print w, h }')
  if [ "$cold" = yes ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  fi
  # Play, by the button's place in the window's twips layout.
  xdotool mousemove --window "$main" $(((6360 + 487) * main_w / 7455)) $(((720 + 247) * main_h / 1305))
  sleep 0.2
  first_sound_ms xdotool click 1
  stop "$app_pid"
  app_pid=
  sleep 0.3
}

mpv_once() {
  local cold=$1
  if [ "$cold" = yes ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  fi
  first_sound_ms mpv --no-config --really-quiet --vo=null --length=0.5 "$work/tone.mp3"
  sleep 0.8
}

# Median, low and high of the numbers given.
summary() {
  printf '%s\n' "$@" | python3 -c '
import statistics, sys
v = [float(x) for x in sys.stdin.read().split() if x != "-"]
print("%6.0f ms (%.0f-%.0f)" % (statistics.median(v), min(v), max(v)) if v else "    no sound")'
}

series() {
  local what=$1 n=$2 cold=$3 out=()
  for _ in $(seq "$n"); do
    if [ "$what" = mpv ]; then
      out+=("$(mpv_once "$cold")")
    else
      out+=("$(orvane_once "$what" "$cold")")
    fi
  done
  summary "${out[@]}"
}

find "$one" "$many" >/dev/null # warm
warm_one=$(series "$one" "$runs" no)
warm_many=$(series "$many" "$runs" no)
warm_mpv=$(series mpv "$runs" no)
if [ "$can_drop" = yes ]; then
  cold_one=$(series "$one" "$cold_runs" yes)
  cold_many=$(series "$many" "$cold_runs" yes)
  cold_mpv=$(series mpv "$cold_runs" yes)
else
  cold_one="  (drop_caches not allowed)"
  cold_many=$cold_one
  cold_mpv=$cold_one
fi

printf '%-30s %-24s %s\n' "click to first sound" "warm" "cold"
printf '%-30s %-24s %s\n' "orvane, 1 folder" "$warm_one" "$cold_one"
printf '%-30s %-24s %s\n' "orvane, 20,000 folders" "$warm_many" "$cold_many"
printf '%-30s %-24s %s\n' "mpv FILE (reference)" "$warm_mpv" "$cold_mpv"
