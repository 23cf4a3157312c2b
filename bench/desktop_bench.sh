# Shared by the benchmarks that play through the private sound server with
# the program on a virtual display: the tools they need, their temporary
# folder and its cleaning up, the tone files, the recording of the null sink's
# monitor, the display, and finding and clicking the main window. Sourced
# after bench_common.sh.

# Fails with a word on what to install when a tool is missing.
need_tools() {
  local tool
  for tool in Xvfb xdotool xwininfo xprop pulseaudio parec pactl lame mpv python3; do
    if ! command -v "$tool" >/dev/null; then
      echo "$(basename "$0"): $tool is not installed (scripts/setup.sh installs it)" >&2
      exit 1
    fi
  done
}

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

# Makes the temporary folder $work, removed with everything started here
# when the script ends, however it ends.
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  trap cleanup EXIT
  trap 'exit 130' INT TERM
}
cleanup() {
  stop "$app_pid"
  stop "$rec_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}

# A 440 Hz mono MP3 of the given length at $rate; a whole number of periods
# when the length allows, so that files played back to back make one
# unbroken tone.
make_tone() {
  local mp3=$1 seconds=$2
  python3 - "$work/tone.raw" "$rate" "$seconds" <<'PY'
import array, math, sys
path, rate, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
frames = round(rate * seconds)
tone = array.array("h", (round(8000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(frames)))
if sys.byteorder != "little":
    tone.byteswap()
with open(path, "wb") as f:
    f.write(tone.tobytes())
PY
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$work/tone.raw" "$mp3" 2>/dev/null
}

# One recording of the monitor for the whole run, so that the null sink keeps
# the short latency the recorder asks for: $recording.
start_recording() {
  recording=$work/monitor.raw
  parec --device="$PULSE_MONITOR" --latency-msec=10 --raw --format=s16le --rate="$rate" --channels=1 \
    >"$recording" 2>"$work/parec.log" &
  rec_pid=$!
  # A null sink that nobody has asked for low latency renders two seconds
  # ahead; only after that does the recorder's latency hold.
  sleep 2.5
}

# A virtual display of its own: sets DISPLAY, and version for the settings.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$work/display")"
  version=$(sed -n 's/^project(Orvane VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
}

# The program's main window once it is on screen (the startup window has the
# same title but is no normal window), waiting up to the tenths of a second
# given.
main_window() {
  local w
  for _ in $(seq "${1:-100}"); do
    for w in $(xdotool search --name '^MP3 Orvane$' 2>/dev/null); do
      if xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' \
        && xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_NORMAL; then
        echo "$w"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# Moves the mouse onto a button of the window, by its place in the window's
# twips layout (Play: left 6360, Pause: 5400), and clicks when asked.
point_at_button() {
  local window=$1 left=$2 width height
  shift 2
  read -r width height < <(xwininfo -id "$window" | awk '/^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print w, h }')
  xdotool mousemove --window "$window" $(((left + 487) * width / 7455)) $(((720 + 247) * height / 1305)) "$@"
}
