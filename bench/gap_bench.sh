#!/usr/bin/env bash
# The silence a listener hears between consecutive files, through a real sound
# server. Builds the program, starts a private PulseAudio server with a null
# sink, records the sink's monitor, and plays the same tree (name order,
# Subdirectories on) with:
#   - Orvane itself, on a virtual X display, Play pressed with the mouse; and
#     again with Even Loudness on, over copies of the files whose gains
#     differ from one file to the next;
#   - the Windows program (orvane.exe) the same way under Wine, through Wine's
#     PulseAudio driver, once on its Media Foundation and WASAPI control and
#     once on MCI (where mingw-w64 and Wine are installed);
#   - mpv --gapless-audio=no (one file after another), for reference;
#   - mpv --gapless-audio=yes (mpv's own gapless play list), for reference.
# Prints one line per player: the median and largest silence between two
# files, the sound heard against the files' length, and every silence in
# order; then the Windows program's CPU time playing and paused, and its
# memory, on each control.
#
#   bench/gap_bench.sh [tree|wrap|short|broken|bigwrap]
#
#   tree   3 folders of 3 files of 1.5 s, played once (the default)
#   wrap   2 folders of 2 files of 1.0 s with Repeat All, three passes: the
#          tree's end leads back to its first file twice
#   short  2 folders of 6 files of 0.3 s, played once
#   broken one folder of 2 files of 3.0 s, the second deleted 1 s after the
#          start: the first must be heard whole
#   bigwrap the wrap of a large repeated tree against a small one: trees of
#          2,000 and WRAP_FOLDERS (200,000) folders, made once under
#          TREES_DIR (/tmp/orvane-wrap-trees), as bench/tree_memory_bench.sh
#          lays them out, music (1.0 s files) only in the play path and the
#          tree's last two folders; three rounds with Repeat All on each
#          program (Orvane, orvane.exe on WASAPI). Of the silences told in
#          order, the 3rd and 6th are the wraps (the 1st and 4th are the
#          search through the empty folders, which no look-ahead spans)
#
# ORVANE_EXE runs that program instead of building one (to compare builds).
#
# Clients ask for 30 ms of latency, as desktop sound settings usually do
# (override with PULSE_LATENCY_MSEC).
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" = --inside ]; then
  scenario=$2
else
  scenario=${1:-tree}
  case $scenario in
    tree | wrap | short | broken | bigwrap) ;;
    *)
      echo "usage: $0 [tree|wrap|short|broken|bigwrap]" >&2
      exit 2
      ;;
  esac
  need_tools
  [ -n "${ORVANE_EXE:-}" ] || build_orvane
  build_orvane_exe_if_possible
  exec "$source_dir/scripts/pulse_session.sh" "$0" --inside "$scenario"
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
repeat=0
passes=1
case $scenario in
  tree) folders=3 per_folder=3 seconds_per_file=1.5 ;;
  wrap) folders=2 per_folder=2 seconds_per_file=1.0 repeat=1 passes=3 ;;
  short) folders=2 per_folder=6 seconds_per_file=0.3 ;;
  broken) folders=1 per_folder=2 seconds_per_file=3.0 ;;
  bigwrap) folders=1 per_folder=3 seconds_per_file=1.0 repeat=1 passes=3 ;;
esac
# Every file heard in all passes, and their length.
expect_all() {
  files=$((folders * per_folder * passes))
  [ "$scenario" = broken ] && files=1
  total=$(awk -v n="$files" -v s="$seconds_per_file" 'BEGIN { printf "%.3f", n * s }')
}
expect_all

make_work orvane-gap


# --- the tree -------------------------------------------------------------------
make_tone "$work/tone.mp3" "$seconds_per_file"
music=$work/music
list=()
for f in $(seq "$folders"); do
  mkdir -p "$music/folder$f"
  for t in $(seq "$per_folder"); do
    file=$music/folder$f/track$t.mp3
    cp "$work/tone.mp3" "$file"
    list+=("$file")
  done
done
[ "$scenario" = broken ] && cp "${list[-1]}" "$work/spare.mp3"

# The broken scenario's second file is put back, and deleted again a second
# after the player starts.
arm_breakage() {
  [ "$scenario" = broken ] || return 0
  cp "$work/spare.mp3" "${list[-1]}"
  (sleep 1 && rm -f "${list[-1]}") &
}

# --- the recording: each player gets its stretch of it ---------------------------
start_recording

# Waits until the player's sound stream has been gone for half a second, at
# least the files' length after it started, and at most twice that.
client_streams() {
  pactl list short sink-inputs 2>/dev/null | wc -l
}
wait_until_played() {
  local started=${1:-$started} quiet=0 now
  while :; do
    sleep 0.1
    now=$(date +%s%N)
    if [ $(((now - started) / 1000000)) -gt "$(awk -v t="$total" 'BEGIN { print int(t * 2000) }')" ]; then
      echo "gap_bench: the player did not finish in time" >&2
      return 0
    fi
    if [ "$(client_streams)" -gt 0 ]; then
      quiet=0
    else
      quiet=$((quiet + 1))
    fi
    if [ "$quiet" -ge 5 ] && [ $(((now - started) / 1000000)) -ge "$(awk -v t="$total" 'BEGIN { print int(t * 1000) }')" ]; then
      return 0
    fi
  done
}

results=()
measure() {
  local label=$1 from=$2 to=$3
  shift 3
  results+=("$(gaps_heard "$label" "$from" "$to" "$@")")
}

run_mpv() {
  local label=$1
  shift
  local from to started
  from=$(mark)
  started=$(date +%s%N)
  arm_breakage
  mpv --no-config --really-quiet --vo=null --loop-playlist="$passes" "$@" "${list[@]}" >"$work/mpv.log" 2>&1 || true # a file that fails is reported as an error
  wait_until_played "$started"
  sleep 0.5
  to=$(mark)
  measure "$label" "$from" "$to"
}

# Repeating never ends: the recording then stops halfway through the first
# file of the pass after the last one measured. Otherwise it stops once the
# player is done, as the given command (run until true) tells.
await_end() {
  if [ "$repeat" = 1 ]; then
    sleep "$(awk -v t="$total" -v s="$seconds_per_file" 'BEGIN { print t + s / 2 + 0.4 }')"
    files=$((files + 1))
    total=$(awk -v t="$total" -v s="$seconds_per_file" 'BEGIN { printf "%.3f", t + s / 2 }')
  else
    "$@"
    sleep 0.5
  fi
}

# Presses Play in the window and measures what is heard until the player is
# done, as the command given tells ($started: when Play was pressed).
play_and_measure() {
  local label=$1 from to
  shift
  from=$(mark)
  started=$(date +%s%N)
  arm_breakage
  point_at_button "$window" 6360 click 1
  await_end "$@"
  to=$(mark)
  measure "$label" "$from" "$to" --levels
}

# --- the wrap of a large tree -------------------------------------------------------
if [ "$scenario" = bigwrap ]; then
  trees=${TREES_DIR:-/tmp/orvane-wrap-trees}
  mkdir -p "$trees"
  make_wrap_tree() { # folders
    local root=$trees/$1
    [ -f "$root.done" ] && return 0
    rm -rf "$root"
    nice -n 10 python3 - "$root" "$1" "$work/tone.mp3" <<'PY'
import os, shutil, sys
root, folders, tone = sys.argv[1], int(sys.argv[2]), sys.argv[3]
os.makedirs(root)
shutil.copy(tone, os.path.join(root, "First song.mp3"))
albums = folders // 100 - 1
for a in range(100):
    artist = os.path.join(root, "Artist %03d" % a)
    os.mkdir(artist)
    for b in range(albums):
        os.mkdir(os.path.join(artist, "Album %04d" % b))
last = os.path.join(root, "Artist 099")
for b in (albums - 2, albums - 1):
    shutil.copy(tone, os.path.join(last, "Album %04d" % b, "Track.mp3"))
PY
    : >"$root.done"
  }
  big=${WRAP_FOLDERS:-200000}
  make_wrap_tree 2000
  make_wrap_tree "$big"
  start_display
  # Waits until the process has opened the play path's own file the given
  # number of times, then half a file more.
  await_opens() {
    local pid=$1 file=$2 times=$3 open=no seen=0 fd now
    for _ in $(seq 3000); do
      now=no
      for fd in /proc/"$pid"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$file" ] && now=yes && break
      done
      [ $now = yes ] && [ $open = no ] && seen=$((seen + 1))
      open=$now
      [ $seen -ge "$times" ] && break
      sleep 0.1
    done
    sleep 0.5
  }
  # Play pressed in the window of the program started, and the rounds heard.
  rounds_heard() { # label
    local from
    from=$(mark)
    point_at_button "$window" 6360 click 1
    await_opens "$app_pid" "$tree/First song.mp3" $((passes + 1))
    measure "$1" "$from" "$(mark)" --where
  }
  files=$((3 * passes + 1))
  total=$files.0
  for n in 2000 "$big"; do
    tree=$trees/$n
    write_settings 1 1 "$tree"
    rm -rf "$work/home/.local/state/Orvane" # no place of the last run to play on from by itself
    start_orvane "${ORVANE_EXE:-$build_dir/orvane}" -u DBUS_SESSION_BUS_ADDRESS
    sleep 0.5
    rounds_heard "orvane, $n folders"
    stop "$app_pid"
    app_pid=
    if have_orvane_exe; then
      use_wine_prefix
      end_wine
      wine_settings "Version=$version" PlayOrder=2 Sub=1 Repeat=1 "PlayPath=$(winpath "$tree")" EvenLoudness=0
      wine_forget_place
      start_orvane_exe "$win_build/orvane.exe" "$work/wine-wrap.log" ORVANE_MEDIA=wasapi
      if [ -n "$window" ]; then
        sleep 1
        rounds_heard "orvane.exe (WASAPI), $n folders"
      fi
      stop "$app_pid"
      app_pid=
      end_wine
    fi
  done
  printf '%s\n' "${results[@]}"
  exit 0
fi

# --- Orvane, as a user runs it -----------------------------------------------------
start_display
write_settings 1 "$repeat" "$music"
start_orvane "${ORVANE_EXE:-$build_dir/orvane}" -u DBUS_SESSION_BUS_ADDRESS
sleep 0.5
play_and_measure "orvane" wait_until_played
stop "$app_pid"
app_pid=
expect_all

# The same tree with Even Loudness on, each file tagged with a gain of its own
# (0, -3, -6 dB by turns, as its album's): the level changes at each join,
# from the file's first sample, and must open no gap there.
levelled=$work/levelled
rm -rf "$levelled"
cp -r "$music" "$levelled"
n=0
while IFS= read -r file; do
  id3v2 --TXXX "REPLAYGAIN_ALBUM_GAIN:-$((n % 3 * 3)).00 dB" "$file" >/dev/null
  n=$((n + 1))
done < <(find "$levelled" -name '*.mp3' | sort)
write_settings 1 "$repeat" "$levelled" EvenLoudness=1
start_orvane "${ORVANE_EXE:-$build_dir/orvane}" -u DBUS_SESSION_BUS_ADDRESS
sleep 0.5
play_and_measure "orvane (Even Loudness)" wait_until_played
stop "$app_pid"
app_pid=
expect_all

# --- the Windows program under Wine, its sound through Wine's PulseAudio
# driver into the private server ---------------------------------------------------
# The program's own trace tells when the last file is done.
traced_done() {
  local trace=$1
  for _ in $(seq "$(awk -v t="$total" 'BEGIN { print int(t * 30) }')"); do
    [ "$(grep -c '^Done' "$trace" 2>/dev/null)" -ge "$files" ] && return 0
    sleep 0.1
  done
}
run_orvane_exe() {
  local label=$1 media=$2 tree=${3:-$music} trace=$work/trace-$2${4:+-$4}.log
  have_orvane_exe || return 0
  use_wine_prefix
  end_wine
  wine_settings "Version=$version" PlayOrder=2 Sub=1 "Repeat=$repeat" "PlayPath=$(winpath "$tree")" "${4:-EvenLoudness=0}"
  wine_forget_place
  start_orvane_exe "$win_build/orvane.exe" "$work/wine-$media.log" ORVANE_MEDIA="$media" ORVANE_TRACE="$(winpath "$trace")"
  if [ -z "$window" ]; then
    echo "gap_bench: the Windows program's main window did not appear" >&2
  else
    sleep 1
    play_and_measure "$label" traced_done "$trace"
    expect_all
  fi
  stop "$app_pid"
  app_pid=
  end_wine
}
run_orvane_exe "orvane.exe (Media Foundation + WASAPI)" wasapi
run_orvane_exe "orvane.exe (MCI)" mci

# The Windows program's own cost: CPU time per second of playing and of being
# paused (four seconds each, Pause pressed with the mouse), and its memory.
cost_of_orvane_exe() {
  local label=$1 media=$2 hz
  have_orvane_exe || return 0
  hz=$(getconf CLK_TCK)
  use_wine_prefix
  end_wine
  start_orvane_exe "$win_build/orvane.exe" "$work/wine-cost-$media.log" ORVANE_MEDIA="$media"
  if [ -n "$window" ]; then
    sleep 1
    local a b c
    point_at_button "$window" 6360 click 1
    sleep 2
    a=$(cpu_ticks "$app_pid")
    sleep 4
    b=$(cpu_ticks "$app_pid")
    point_at_button "$window" 5400 click 1
    sleep 1
    c=$(cpu_ticks "$app_pid")
    sleep 4
    local d rss
    d=$(cpu_ticks "$app_pid")
    rss=$(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$app_pid/status" 2>/dev/null)
    results+=("$(printf '%-28s CPU playing %5.1f ms/s, paused %5.1f ms/s, memory %s MiB' "$label" \
      "$(awk -v t=$((b - a)) -v hz="$hz" 'BEGIN { print t * 1000 / hz / 4 }')" \
      "$(awk -v t=$((d - c)) -v hz="$hz" 'BEGIN { print t * 1000 / hz / 4 }')" "$rss")")
  fi
  stop "$app_pid"
  app_pid=
  end_wine
}
cost_of_orvane_exe "orvane.exe (Media Foundation + WASAPI)" wasapi
cost_of_orvane_exe "orvane.exe (MCI)" mci
# Last of the Windows program's runs: the value stays in Wine's registry.
run_orvane_exe "orvane.exe (WASAPI, Even Loudness)" wasapi "$levelled" EvenLoudness=1

run_mpv "mpv --gapless-audio=no" --gapless-audio=no
run_mpv "mpv --gapless-audio=yes" --gapless-audio=yes

printf '%s\n' "${results[@]}"
