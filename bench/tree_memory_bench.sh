#!/usr/bin/env bash
# What a large play path costs in memory, and how long Exit takes on it. For
# each tree, Subdirectories and Repeat All on, name order, Play pressed with
# the mouse on a virtual display through a private PulseAudio server, the
# program's private memory (RssAnon) is read before Play, 12 s after it, and
# after a whole round (once the first folder's file is open again after the
# last's); then the window is closed and the time to the process's end is
# taken. Side by side in one run: the Linux program and orvane.exe under Wine
# (its Media Foundation and WASAPI control), and ORVANE_BEFORE /
# ORVANE_EXE_BEFORE, other builds of them (say, from before a change). Each
# with Shuffle Folders off and on (SHUFFLE="0 1" by default; a whole round
# there is every folder with music heard once). PROGRAMS="linux wine" by
# default; ROUNDS=no leaves out the N-round trees.
#
# The trees, made once under $TREES_DIR (default /tmp/orvane-tree-memory) of
# hard links to one file, each 100 artists of albums with one file per
# album (folders + 1 play path's own file):
#   one      the play path alone with its file: the baseline
#   one-20   the play path alone with 20 files: the baseline of what the
#            media control keeps for a file other than the one before, which
#            the trees' figures are also given above
#   N        N folders, each holding a 1 s tone
#   N-round  the same folders, each holding a cover (not played), one album
#            in a thousand the tone: a round passes in seconds
# The figures are in bytes per folder: above the baseline (12 s after Play,
# and on the trees of N folders once the walk is over, WALK_SECONDS at most),
# and, as "grows", the slope from the tree of 2,000 folders to the tree of N,
# which leaves out what the media control keeps for playing a file other
# than the one before (some tens of MB with libmpv, whatever the tree). Before the
# programs run, bench/tree_steps_bench.cpp times a change of folder and a
# Stop on each tree against a tree of 2,000 folders made the same way.
#
#   bench/tree_memory_bench.sh [FOLDERS...]       (20000 unless told; 200000 is
#                                                  slow to make and walk here)
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  need_icewm
  build_orvane
  build_target tree_steps_bench >/dev/null
  build_orvane_exe_if_possible
  exec "$source_dir/scripts/pulse_session.sh" "$0" --inside "${@:-20000}"
fi
shift
sizes=("$@")

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
trees=${TREES_DIR:-/tmp/orvane-tree-memory}
make_work orvane-tree-memory
mkdir -p "$trees"

# --- the trees, made once ---------------------------------------------------------
if [ ! -f "$trees/tone.mp3" ]; then
  make_tone "$work/tone.mp3" 1
  cp "$work/tone.mp3" "$trees/tone.mp3"
fi
: >"$trees/cover.jpg"
make_tree() {
  local root=$1 folders=$2 sparse=$3 own=${4:-1}
  [ -f "$root.done" ] && return 0
  rm -rf "$root"
  nice -n 10 python3 - "$root" "$folders" "$sparse" "$trees" "$own" <<'EOF'
import os, sys
root, folders, sparse, trees = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "yes", sys.argv[4]
own = int(sys.argv[5])
import shutil
# A file takes 65,000 links at most on ext4: one copy of each per artist.
def copy_for(a, name):
    copy = os.path.join(trees, "copies", "%03d-%s" % (a, name))
    if not os.path.exists(copy):
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copy(os.path.join(trees, name), copy)
    return copy
os.makedirs(root)
os.link(copy_for(0, "tone.mp3"), os.path.join(root, "First song.mp3"))
for i in range(1, own):
    os.link(copy_for(0, "tone.mp3"), os.path.join(root, "Song %02d.mp3" % i))
albums = max(0, folders // 100 - 1)
n = 0
for a in range(100 if folders > 1 else 0):
    artist = os.path.join(root, "Artist %03d" % a)
    os.mkdir(artist)
    tone, cover = copy_for(a, "tone.mp3"), copy_for(a, "cover.jpg")
    for b in range(albums):
        album = os.path.join(artist, "Album %04d" % b)
        os.mkdir(album)
        n += 1
        if not sparse:
            os.link(tone, os.path.join(album, "Track.mp3"))
        elif n % 1000 == 0:
            os.link(tone, os.path.join(album, "Track.mp3"))
        else:
            os.link(cover, os.path.join(album, "cover.jpg"))
EOF
  : >"$root.done"
}
make_tree "$trees/one" 1 no
make_tree "$trees/one-20" 1 no 20
make_tree "$trees/2000" 2000 no
make_tree "$trees/2000-round" 2000 yes
for n in "${sizes[@]}"; do
  make_tree "$trees/$n" "$n" no
  make_tree "$trees/$n-round" "$n" yes
done
for n in "${sizes[@]}"; do
  nice -n 10 "$build_dir/bench/tree_steps_bench" "$trees/2000" "$trees/$n"
done

private_kib() {
  awk '/^RssAnon:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0
}
# Whether the process has a file of the given folder open.
has_open() {
  local pid=$1 path=$2 fd
  for fd in /proc/"$pid"/fd/*; do
    case $(readlink "$fd" 2>/dev/null) in "$path"/*) return 0 ;; esac
  done
  return 1
}
# Waits, up to the seconds given, for a whole round: the last album with a
# file open, then the play path's own file again; shuffled, every folder
# with music with a file open once.
wait_round() {
  local pid=$1 root=$2 seconds=$3 last seen=no
  [ "$shuffle" = 1 ] && { wait_shuffled_round "$@"; return; }
  last=$(dirname "$(find "$root" -name Track.mp3 | sort | tail -n 1)")
  for _ in $(seq $((seconds * 10))); do
    if [ $seen = no ]; then
      has_open "$pid" "$last" && seen=yes
    elif has_open "$pid" "$root"; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}
wait_shuffled_round() {
  local pid=$1 root=$2 seconds=$3 folders path
  local -A heard=()
  folders=$(($(find "$root" -name Track.mp3 | wc -l) + 1)) # and the play path's own file
  for _ in $(seq $((seconds * 10))); do
    while IFS= read -r path; do
      heard[${path%/*}]=1
    done < <(find /proc/"$pid"/fd -lname "$root/*.mp3" -printf '%l\n' 2>/dev/null)
    [ ${#heard[@]} -ge "$folders" ] && return 0
    sleep 0.1
  done
  return 1
}
# Milliseconds from the window's close (Alt+F4) to the process's end.
exit_ms() {
  local pid=$1 window=$2 t0 t1
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  t0=$(date +%s%N)
  xdotool key alt+F4
  for _ in $(seq 1000); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.005
  done
  t1=$(date +%s%N)
  kill -0 "$pid" 2>/dev/null && { echo ">5000"; return; }
  echo $(((t1 - t0) / 1000000))
}

start_recording
start_display
wm_pid=
trap 'stop "$wm_pid"; cleanup' EXIT
HOME=$work/home icewm >"$work/icewm.log" 2>&1 &
wm_pid=$!

# Private memory once the walk is over: it has not grown by more than 64 KiB
# in 10 s and the program's CPU time (and under Wine its wineserver's, which
# lists folders for it) has stayed under a tenth of a core meanwhile (playing
# costs less), waiting up to the seconds given: "KiB@seconds after Play", or
# "KiB@>seconds" when it was still busy.
walked_kib() {
  local pid=$1 seconds=$2 hz a b m n waited=0
  hz=$(getconf CLK_TCK)
  a=$(busy_ticks "$pid")
  m=$(private_kib "$pid")
  while [ "$waited" -lt "$seconds" ]; do
    sleep 10
    waited=$((waited + 10))
    b=$(busy_ticks "$pid")
    n=$(private_kib "$pid")
    if [ $(((b - a) * 1000 / hz / 10)) -lt 100 ] && [ $((n - m)) -lt 64 ]; then
      echo "$n@$((waited + 12))"
      return
    fi
    a=$b m=$n
  done
  echo "$(private_kib "$pid")@>$((waited + 12))"
}
busy_ticks() {
  local pid=$1 server= p
  if [ "$kind" = wine ]; then
    for p in $(pgrep -x wineserver); do
      tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$p
    done
  fi
  echo $(($(cpu_ticks "$pid") + ${server:+$(cpu_ticks "$server")}+0))
}

# One run of the program started as $app_pid on one tree: private memory
# before Play, 12 s after it and (round: yes) after a whole round, or (round:
# walk) once the walk is over (see walked_kib), then the time Exit takes:
# "before after12 round exit" (KiB, KiB, KiB or "-", ms).
measure_play() {
  local root=$1 round=$2 before after whole
  sleep 1.5
  before=$(private_kib "$app_pid")
  point_at_button "$window" 6360 click 1
  sleep 12
  after=$(private_kib "$app_pid")
  whole=-
  if [ "$round" = yes ] && wait_round "$app_pid" "$root" 400; then
    whole=$(private_kib "$app_pid")
  elif [ "$round" = walk ]; then
    whole=$(walked_kib "$app_pid" "${WALK_SECONDS:-600}")
  fi
  echo "$before $after $whole $(exit_ms "$app_pid" "$window")"
}

run_linux() {
  local exe=$1 root=$2 round=$3
  write_settings 1 1 "$root" "ShuffleFolders=$shuffle"
  rm -rf "$work/home/.local/state/Orvane"
  start_orvane "$exe" -u DBUS_SESSION_BUS_ADDRESS
  measure_play "$root" "$round"
  wait "$app_pid" 2>/dev/null || true
  app_pid=
}
run_wine() {
  local exe=$1 root=$2 round=$3
  use_wine_prefix
  end_wine
  wine_settings "Version=$version" PlayOrder=2 Sub=1 Repeat=1 "PlayPath=$(winpath "$root")" \
    "ShuffleFolders=$shuffle"
  wine_forget_place
  start_orvane_exe "$exe" "$work/wine.log" ORVANE_MEDIA=wasapi
  if [ -z "$window" ]; then
    echo "- - - -"
    stop "$app_pid"
    app_pid=
    return
  fi
  measure_play "$root" "$round"
  stop "$app_pid"
  app_pid=
  end_wine
  [ "$shuffle" = 0 ] || wine_settings ShuffleFolders=0 # the prefix keeps it for the other benchmarks
}

# Bytes per folder above the baseline's figure (KiB) on a tree of n folders.
per_folder() {
  local kib=$1 base=$2 n=$3
  [ "$kib" = - ] || [ "$base" = - ] && { echo "-"; return; }
  awk -v k="$kib" -v b="$base" -v n="$n" 'BEGIN { printf "%.0f", (k - b) * 1024 / n }'
}

report() {
  local label=$1 kind=$2 exe=$3 base base20 n b a w e rb ra rw re sb sa sw se tb ta tw te
  [ -e "$exe" ] || return 0
  read -r b a w e < <("run_$kind" "$exe" "$trees/one" no)
  base=$a
  printf '%-26s %-12s before %7s KiB, 12 s after %7s KiB; Exit %s ms\n' "$label" "1 folder" "$b" "$a" "$e"
  read -r b a w e < <("run_$kind" "$exe" "$trees/one-20" no)
  base20=$a
  printf '%-26s %-12s before %7s KiB, 12 s after %7s KiB; Exit %s ms\n' "" "1 folder, 20" "$b" "$a" "$e"
  read -r sb sa sw se < <("run_$kind" "$exe" "$trees/2000" no)
  tb=- ta=- tw=- te=-
  [ "${ROUNDS:-yes}" = no ] || read -r tb ta tw te < <("run_$kind" "$exe" "$trees/2000-round" yes)
  printf '%-26s %-12s before %7s KiB, 12 s after %7s KiB; Exit %s ms\n' "" "2000" "$sb" "$sa" "$se"
  printf '%-26s %-12s before %7s KiB, 12 s after %7s KiB, after a round %s KiB; Exit %s ms\n' \
    "" "2000-round" "$tb" "$ta" "$tw" "$te"
  for n in "${sizes[@]}"; do
    read -r b a w e < <("run_$kind" "$exe" "$trees/$n" walk)
    rb=- ra=- rw=- re=-
    [ "${ROUNDS:-yes}" = no ] || read -r rb ra rw re < <("run_$kind" "$exe" "$trees/$n-round" yes)
    printf '%-26s %-12s before %7s KiB, 12 s after %7s KiB (%s B/folder; above 20 files %s; grows %s); Exit %s ms\n' \
      "" "$n" "$b" "$a" "$(per_folder "$a" "$base" "$n")" "$(per_folder "$a" "$base20" "$n")" "$(slope "$a" "$sa" "$n")" "$e"
    printf '%-26s %-12s walked (KiB@s after Play) %s (%s B/folder; above 20 files %s)\n' \
      "" "" "$w" "$(per_folder "${w%@*}" "$base" "$n")" "$(per_folder "${w%@*}" "$base20" "$n")"
    printf '%-26s %-12s 12 s after %7s KiB (%s B/folder, grows %s), after a round %s KiB (%s B/folder, grows %s); Exit %s ms\n' \
      "" "$n-round" "$ra" "$(per_folder "$ra" "$base" "$n")" "$(slope "$ra" "$ta" "$n")" \
      "$rw" "$(per_folder "$rw" "$base" "$n")" "$(slope "$rw" "$tw" "$n")" "$re"
  done
}
# Bytes per folder from the 2,000-folder tree's figure to the n-folder tree's.
slope() {
  local kib=$1 small=$2 n=$3
  [ "$kib" = - ] || [ "$small" = - ] && { echo "-"; return; }
  awk -v k="$kib" -v s="$small" -v n="$n" 'BEGIN { printf "%.0f", (k - s) * 1024 / (n - 2000) }'
}

for shuffle in ${SHUFFLE:-0 1}; do
  how=
  [ "$shuffle" = 1 ] && how=", shuffled"
  if [[ " ${PROGRAMS:-linux wine} " = *" linux "* ]]; then
    report "orvane$how" linux "$build_dir/orvane"
    [ -n "${ORVANE_BEFORE:-}" ] && report "orvane (ORVANE_BEFORE)$how" linux "$ORVANE_BEFORE"
  fi
  if [[ " ${PROGRAMS:-linux wine} " = *" wine "* ]] && have_orvane_exe; then
    report "orvane.exe (WASAPI)$how" wine "$win_build/orvane.exe"
    [ -n "${ORVANE_EXE_BEFORE:-}" ] && report "orvane.exe (EXE_BEFORE)$how" wine "$ORVANE_EXE_BEFORE"
  fi
done
true
