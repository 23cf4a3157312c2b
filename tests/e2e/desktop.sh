# A desktop for one test script: a virtual display (Xvfb) with a window
# manager and system tray (icewm), the program's process, a recording of
# what the private sound server plays, and cleaning up after them. Sourced
# after lib.sh; expects work (a temporary folder) to be set. Sets DISPLAY and
# home.

xvfb_pid=
wm_pid=
bg_pid=
app_pid=
rec_pid=
desktop_sh_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

stop() {
  local pid=$1 i
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for i in $(seq 30); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
}

stop_desktop() {
  stop "$app_pid"
  stop "$rec_pid"
  stop "$bg_pid"
  stop "$wm_pid"
  stop "$xvfb_pid"
}

summary() {
  echo "${suite_name:-e2e}: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# Something the remaining steps depend on went wrong: count it and stop here.
abort() {
  not_ok "$1"
  if [ -s "$work/app.log" ]; then
    echo "--- program output"
    tail -n 20 "$work/app.log"
  fi
  summary
  exit 1
}

need_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is not installed (scripts/setup.sh installs it)" >&2
      abort "the tools are there"
    fi
  done
}

app_alive() {
  [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null
}

app_ended() {
  ! app_alive
}

# Running, hidden behind its tray icon ($main: the main window).
in_tray() {
  app_alive && has_tray_icon && is_hidden "$main"
}

start_desktop() {
  # -displayfd lets the server take the first free display number itself.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  wait_for 10 test -s "$work/display" || abort "virtual display starts"
  export DISPLAY=":$(head -n 1 "$work/display")"

  home=$work/home
  mkdir -p "$home/.icewm" "$work/config" "$work/runtime"
  chmod 700 "$work/runtime"
  cat >"$home/.icewm/preferences" <<'EOF'
TaskBarShowCPUStatus=0
TaskBarShowNetStatus=0
TaskBarShowMEMStatus=0
TaskBarShowMailboxStatus=0
TaskBarShowTray=1
EOF
  HOME=$home icewm >"$work/icewm.log" 2>&1 &
  wm_pid=$!
  HOME=$home icewmbg --image='' --color='rgb:3a/6e/a5' >"$work/icewmbg.log" 2>&1 &
  bg_pid=$!
  # A machine busy compiling may take a while to bring the tray up; what the
  # window manager said goes with a failure.
  if ! wait_for 30 desktop_tray_ready; then
    cat "$work/icewm.log" >&2
    abort "window manager with a system tray starts"
  fi
}

desktop_tray_ready() {
  x xwininfo -root -tree 2>/dev/null | grep -q '"SystemTray"'
}

# The main window, not the startup window (which carries the same title).
main_window() {
  local w
  for w in $(windows_named 'MP3 Orvane'); do
    if is_viewable "$w" && window_type "$w" | grep -q _NET_WM_WINDOW_TYPE_NORMAL; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# "R G B" (0..255) of a picture's average colour.
picture_rgb() {
  convert "$1" -scale '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info: 2>/dev/null
}

# A 16, 24 and 32 pixel icon file of one colour.
write_icon() {
  convert -size 32x32 "xc:$2" \( -clone 0 -resize 24x24 \) \( -clone 0 -resize 16x16 \) "$1"
}

# tone_mp3 SECONDS FILE [LAME OPTION...]: a 440 Hz tone (TONE_HZ, when set) of that length, as 16-bit mono WAV
# written by perl, then encoded at a constant 32 kbit/s. TONE_HZ may also
# change the tone along the file, so that what is heard tells where it
# plays: "400 600@30 500@50" is 400 Hz, 600 Hz from the 30th second, 500 Hz
# from the 50th. lame reads the WAV from a file: this lame reads its input
# through libsndfile, which may seek, and a pipe of raw samples then comes
# out as an almost empty file.
tone_mp3() {
  local wav=${2%.mp3}.wav
  perl -e '
    my ($seconds, @tones) = @ARGV;
    my $rate = 44100;
    my $n = int($seconds * $rate);
    my @from = map { /^(\d+)(?:@(\d+))?$/ or die "tone $_\n"; [($2 // 0) * $rate, $1] } @tones;
    binmode STDOUT;
    print "RIFF", pack("V", 36 + 2 * $n), "WAVE", "fmt ", pack("VvvVVvv", 16, 1, 1, $rate, 2 * $rate, 2, 16),
      "data", pack("V", 2 * $n);
    for (my $i = 0; $i < $n; $i += $rate) {
      my $end = $i + $rate < $n ? $i + $rate : $n;
      my ($hz) = map { $_->[1] } grep { $_->[0] <= $i } reverse @from;
      print pack("s<*", map { int(8000 * sin(6.283185307179586 * $hz * $_ / $rate)) } $i .. $end - 1);
    }' "$1" ${TONE_HZ:-440} >"$wav" &&
    lame --quiet -m m -b 32 "${@:3}" "$wav" "$2" &&
    rm -f "$wav"
}

# --- what is heard: the private sound server's sink, recorded from its monitor --------

heard_rate=44100
start_recording() {
  parec --device="$PULSE_MONITOR" --raw --format=s16le --rate=$heard_rate --channels=1 >"$work/heard.raw" 2>/dev/null &
  rec_pid=$!
}

mark() {
  stat -c %s "$work/heard.raw"
}

# The tones heard since a mark, by pitch, one a line.
tones_since() {
  python3 - "$work/heard.raw" "$1" "$heard_rate" "$desktop_sh_dir/../../bench" <<'EOF'
import sys
path, offset, rate, bench = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
sys.path.insert(0, bench)
from tone_runs import samples_of, tone_runs
with open(path, "rb") as f:
    f.seek(offset - offset % 2)
    runs = tone_runs(samples_of(f.read()), rate)
print("\n".join(str(hz) for hz, _ in runs if hz))
EOF
}

# The tone given is what is heard last since the mark.
last_tone_is() {
  [ "$(tones_since "$2" | tail -n 1)" = "$1" ]
}
