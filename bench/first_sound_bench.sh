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
# cold one (dropped after the window is up, before the click); the 20,000
# folders once more with Shuffle Folders on, whose first sound should come as
# soon (within 1.2 times as long). For reference,
# mpv started on the same file from its command line, in the same run.
# Prints the median (and range) of each, side by side.
#
#   bench/first_sound_bench.sh              RUNS=5 COLD_RUNS=3 by default
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  build_orvane
  exec "$source_dir/scripts/pulse_session.sh" "$0" --inside
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
runs=${RUNS:-5}
cold_runs=${COLD_RUNS:-3}

make_work orvane-first-sound

# --- the play paths ---------------------------------------------------------------
make_tone "$work/tone.mp3" 2
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
start_recording

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

start_display

# One click on Play: prints the milliseconds to the first sound.
orvane_once() {
  local path=$1 cold=$2 shuffle=${3:-0}
  write_settings 1 0 "$path"
  printf 'ShuffleFolders=%s\n' "$shuffle" >>"$work/config/Orvane.conf"
  start_orvane "$build_dir/orvane" -u DBUS_SESSION_BUS_ADDRESS
  sleep 0.7
  if [ "$cold" = yes ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches
  fi
  point_at_button "$window" 6360
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
  local what=$1 n=$2 cold=$3 shuffle=${4:-0} out=()
  for _ in $(seq "$n"); do
    if [ "$what" = mpv ]; then
      out+=("$(mpv_once "$cold")")
    else
      out+=("$(orvane_once "$what" "$cold" "$shuffle")")
    fi
  done
  summary "${out[@]}"
}

find "$one" "$many" >/dev/null # warm
warm_one=$(series "$one" "$runs" no)
warm_many=$(series "$many" "$runs" no)
warm_shuffled=$(series "$many" "$runs" no 1)
warm_mpv=$(series mpv "$runs" no)
if [ "$can_drop" = yes ]; then
  cold_one=$(series "$one" "$cold_runs" yes)
  cold_many=$(series "$many" "$cold_runs" yes)
  cold_shuffled=$(series "$many" "$cold_runs" yes 1)
  cold_mpv=$(series mpv "$cold_runs" yes)
else
  cold_one="  (drop_caches not allowed)"
  cold_many=$cold_one
  cold_shuffled=$cold_one
  cold_mpv=$cold_one
fi

printf '%-30s %-24s %s\n' "click to first sound" "warm" "cold"
printf '%-30s %-24s %s\n' "orvane, 1 folder" "$warm_one" "$cold_one"
printf '%-30s %-24s %s\n' "orvane, 20,000 folders" "$warm_many" "$cold_many"
printf '%-30s %-24s %s\n' "  with Shuffle Folders" "$warm_shuffled" "$cold_shuffled"
printf '%-30s %-24s %s\n' "mpv FILE (reference)" "$warm_mpv" "$cold_mpv"
