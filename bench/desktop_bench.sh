# Shared by the benchmarks that play through the private sound server with
# the program on a virtual display: the builds, the tools they need, their
# temporary folder and its cleaning up, the tone files, the recording of the
# null sink's monitor and its measures, the display, the settings, starting
# the program (and the Windows program under Wine) and finding and clicking
# its main window, and the CPU time a process takes. Sourced in place of
# bench_common.sh, which it brings.

source "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
win_build=${WIN_BUILD_DIR:-$source_dir/build-mingw}

# The program, and the Windows program (orvane.exe, in $win_build).
build_orvane() {
  build_target orvane >/dev/null
}
build_orvane_exe() {
  (cd "$source_dir" && cmake --preset mingw >/dev/null && cmake --build --preset mingw -j2 --target orvane_win32_program >/dev/null)
}
# The Windows program too, where mingw-w64 and Wine are there to build and
# run it; the benchmarks measure it only then.
build_orvane_exe_if_possible() {
  if [ -x "$wine" ] && command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
    build_orvane_exe
  fi
}

# Fails with a word on what to install when the window manager is missing.
need_icewm() {
  command -v icewm >/dev/null || { echo "$(basename "$0" .sh): icewm is not installed" >&2; exit 1; }
}

# Fails with a word on what to install when a tool is missing.
need_tools() {
  local tool
  for tool in Xvfb xdotool xwininfo xprop pulseaudio parec pactl lame id3v2 mpv python3; do
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

# A mono MP3 of the given length at $rate, a 440 Hz tone unless another
# frequency is given, of the amplitude given (of 32768; 8000 unless given);
# a whole number of periods when the length allows, so that files played back
# to back make one unbroken tone. Further words go to lame (a bit rate of
# 320 kbps, -b 320, gives the tone back at its own level).
make_tone() {
  local mp3=$1 seconds=$2 hz=${3:-440} amplitude=${4:-8000}
  shift $(($# < 4 ? $# : 4))
  python3 - "$work/tone.raw" "$rate" "$seconds" "$hz" "$amplitude" <<'PY'
import array, math, sys
path, rate, seconds, hz, amplitude = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
frames = round(rate * seconds)
tone = array.array("h", (round(amplitude * math.sin(2 * math.pi * hz * i / rate)) for i in range(frames)))
if sys.byteorder != "little":
    tone.byteswap()
with open(path, "wb") as f:
    f.write(tone.tobytes())
PY
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m m "$@" "$work/tone.raw" "$mp3" 2>/dev/null
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

# Where the recording has got to: each player's stretch lies between two
# such marks.
mark() {
  stat -c %s "$recording"
}

# The line gap_measure.py prints for the stretch of the recording from one
# mark to another, holding $files files of $total seconds in all (further
# words go to gap_measure.py, such as --where).
gaps_heard() {
  local label=$1 from=$2 to=$3
  shift 3
  python3 "$source_dir/bench/gap_measure.py" "$recording" --rate "$rate" --files "$files" \
    --seconds "$total" --from "$from" --to "$to" --label "$label" "$@"
}

# Runs the command given (a click, or a player started) and prints the
# milliseconds from just before it to the first sample heard, waiting for it
# up to 15 s ("-" when none comes). The recording reaches its file in chunks,
# so the sample that was current at the moment of the command is worked out
# from the clock: before it, the file's growth is watched for a while, and the
# freshest chunk seen fixes how the recording's sample count follows the
# clock. Leftover sound of the previous run is waited out first. With
# FIRST_SOUND_HZ set, only a sound of that pitch counts (bench/tone_runs.py),
# as another sound may end just after the command.
first_sound_ms() {
  python3 - "$recording" "$rate" "$source_dir/bench" "$@" <<'EOF'
import array, os, subprocess, sys, time
path, rate, bench, command = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
sys.path.insert(0, bench)
from tone_runs import pitch
hz = int(os.environ.get("FIRST_SOUND_HZ", "0"))
window = rate // 20

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
# The first sample of the sound sought in s, or None and how much of s is
# done with: a loud sample whose window is not all there yet waits for it.
def sought(s):
    i = 0
    while i < len(s):
        if abs(s[i]) <= 500:
            i += 1
        elif not hz:
            return i, i
        elif i + window > len(s):
            return None, i
        elif pitch(s[i : i + window]) == hz:
            return i, i
        else:
            i += rate // 1000
    return None, len(s)

while time.monotonic() < deadline:
    s = samples_from(offset)
    i, done = sought(s)
    if i is not None:
        print("%.0f" % ((offset - start) / 2 / rate * 1000 + i / rate * 1000))
        sys.exit(0)
    offset += 2 * done
    time.sleep(0.01)
print("-")
EOF
}

# Median, low and high of the numbers given.
summary() {
  printf '%s\n' "$@" | python3 -c '
import statistics, sys
v = [float(x) for x in sys.stdin.read().split() if x != "-"]
print("%6.0f ms (%.0f-%.0f)" % (statistics.median(v), min(v), max(v)) if v else "    no sound")'
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

# The program's settings file in $work/config, name order: Subdirectories,
# Repeat All and the play path as given, and any further NAME=VALUE lines.
write_settings() {
  local sub=$1 repeat=$2 path=$3
  shift 3
  mkdir -p "$work/config" "$work/home"
  {
    printf '[General]\nVersion=%s\nPlayOrder=2\nSub=%s\nRepeat=%s\nPlayPath=%s\n' "$version" "$sub" "$repeat" "$path"
    [ $# -eq 0 ] || printf '%s\n' "$@"
  } >"$work/config/Orvane.conf"
}

# The program's main window once it is on screen, waiting up to the tenths
# of a second given. The startup window has the same title but is no normal
# window; under Wine (any word after the tenths) no window tells its type.
main_window() {
  local tenths=${1:-100} under_wine=${2:-} w
  for _ in $(seq "$tenths"); do
    for w in $(xdotool search --name '^MP3 Orvane$' 2>/dev/null); do
      if xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsViewable' \
        && { [ -n "$under_wine" ] || xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_NORMAL; }; then
        echo "$w"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# Starts the program given on the display with the settings of $work, the
# environment given before them (env's words: -u NAME, NAME=value), its
# output in $work/app.log; sets app_pid and window, or ends the script when
# no main window comes.
start_orvane() {
  local exe=$1
  shift
  env "$@" HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$exe" >>"$work/app.log" 2>&1 &
  app_pid=$!
  if ! window=$(main_window 150); then
    echo "$(basename "$0" .sh): the main window did not appear" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
}

# Moves the mouse onto a button of the window, by its place in the window's
# twips layout (Play: left 6360, Pause: 5400, Stop: 3480), and clicks when
# asked.
point_at_button() {
  local window=$1 left=$2 width height
  shift 2
  read -r width height < <(xwininfo -id "$window" | awk '/^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print w, h }')
  xdotool mousemove --window "$window" $(((left + 487) * width / 7455)) $(((720 + 247) * height / 1305)) "$@"
}

# --- the Windows program under Wine: the prefix of its unit tests -------------------

# Whether orvane.exe and Wine are there to run it.
have_orvane_exe() {
  [ -f "$win_build/orvane.exe" ] && [ -x "$wine" ]
}
use_wine_prefix() {
  export WINEPREFIX=$win_build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"
}
# Waits for the session's programs to end (a session left from the unit tests
# runs without this display and sound), and ends it when it does not.
end_wine() {
  timeout 20 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null || true
}
winpath() {
  local p=$1
  echo "Z:${p//\//\\}"
}
# The values under HKCU\Software\Orvane, each given as Name=text.
wine_settings() {
  local value
  for value in "$@"; do
    "$wine" reg add 'HKCU\Software\Orvane' /v "${value%%=*}" /t REG_SZ /d "${value#*=}" /f >/dev/null 2>&1
  done
}
# A run killed before (as the benchmarks end a program) leaves its place, and
# the next start would play on from it by itself: a run of its own starts
# without one.
wine_forget_place() {
  "$wine" reg delete 'HKCU\Software\Orvane\Place' /f >/dev/null 2>&1 || true
}
# Starts orvane.exe (or the one given) under Wine with the environment given
# (NAME=value words), its output added to the log given; sets app_pid, and
# window (empty when no main window came).
start_orvane_exe() {
  local exe=$1 log=$2
  shift 2
  env "$@" "$wine" "$exe" >>"$log" 2>&1 &
  app_pid=$!
  window=$(main_window 300 wine) || window=
}

# A process's CPU time so far, user and system, in clock ticks (getconf
# CLK_TCK a second); 0 once it is gone.
cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}
