#!/usr/bin/env bash
# What the Windows program (orvane.exe under Wine) costs while it has nothing
# it can play, with Repeat All on, and what its memory does while it plays:
#
#   bench/fault_cost_bench.sh [empty|nodevice|music] [seconds]
#   ORVANE_EXE=other/orvane.exe bench/fault_cost_bench.sh ...
#
#   empty     a tree of 2,000 empty folders, Subdirectories on, with a sound
#             server (a private PulseAudio server with a null sink)
#   nodevice  a folder of three files, with neither a sound server nor an
#             ALSA device: every file fails for want of a device
#   music     a folder of ten half-second tones played round and round, with
#             a sound server: the private memory per file opened
#
# Play is pressed with the mouse on a virtual display; then, for the given
# seconds (40 unless told), the CPU time of orvane.exe and of the session's
# wineserver is taken from /proc/PID/stat and printed as a share of one core,
# with orvane.exe's private memory (RssAnon) before and after. In the empty
# scenario the Linux program is measured the same way after them (ORVANE_BIN
# runs another build of it). The figures move with the machine's load;
# compare runs made one after the other. With nothing to play the tree is
# looked through again only after a wait twenty times as long as the looking
# took (under Wine about a minute for these 2,000 folders): give the empty
# scenario a few minutes, so that it spans several.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"
# ORVANE_EXE runs that orvane.exe instead (to compare builds), in the same
# Wine prefix.
exe=${ORVANE_EXE:-$win_build/orvane.exe}

if [ "${1:-}" = --inside ]; then
  scenario=$2 seconds=$3
else
  scenario=${1:-empty} seconds=${2:-40}
  case $scenario in
    empty | nodevice | music) ;;
    *)
      echo "usage: $0 [empty|nodevice|music] [seconds]" >&2
      exit 2
      ;;
  esac
  need_tools
  build_orvane_exe
  [ "$scenario" != empty ] || [ -n "${ORVANE_BIN:-}" ] || build_orvane
  if [ "$scenario" != nodevice ]; then
    exec "$source_dir/scripts/pulse_session.sh" "$0" --inside "$scenario" "$seconds"
  fi
  exec "$0" --inside "$scenario" "$seconds"
fi

rate=44100
make_work orvane-fault-cost
music=$work/music
case $scenario in
  empty)
    for i in $(seq -w 2000); do mkdir -p "$music/f$i"; done
    sub=1
    ;;
  nodevice)
    mkdir -p "$music"
    make_tone "$work/tone.mp3" 2
    for t in 1 2 3; do cp "$work/tone.mp3" "$music/track$t.mp3"; done
    sub=0
    # No sound server and no ALSA device: Wine finds no sound device at all.
    export PULSE_SERVER=unix:$work/no-server
    export ALSA_CONFIG_PATH=$work/no-alsa.conf
    : >"$ALSA_CONFIG_PATH"
    ;;
  music)
    mkdir -p "$music"
    make_tone "$work/tone.mp3" 0.5
    for t in $(seq -w 10); do cp "$work/tone.mp3" "$music/track$t.mp3"; done
    sub=0
    ;;
esac

opened() {
  grep -c '^Open' "$1" 2>/dev/null || true
}
private_kib() {
  awk '/^RssAnon:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0
}
# The wineserver of this prefix, by the folder it works in.
wineserver_pid() {
  local dir p
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for p in $(pgrep -x 'wineserver(64)?'); do
    if [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$dir" ]; then
      echo "$p"
      return 0
    fi
  done
  echo 0
}

start_display
use_wine_prefix
[ "$scenario" = nodevice ] && WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winealsa.drv,winepulse.drv=d"
end_wine
wine_settings "Version=$version" PlayOrder=2 "Sub=$sub" Repeat=1 "PlayPath=$(winpath "$music")"

report() {
  local label=$1 media=$2 hz a0 s0 a1 s1 m0 m1 o0 o1 server
  hz=$(getconf CLK_TCK)
  local trace=$work/trace-$media.log
  start_orvane_exe "$exe" "$work/wine-$media.log" ORVANE_MEDIA="$media" ORVANE_TRACE="$(winpath "$trace")"
  if [ -z "$window" ]; then
    echo "fault_cost_bench: the main window did not appear" >&2
  else
    sleep 1
    point_at_button "$window" 6360 click 1
    # Playing files, memory settles once the first files have loaded what
    # decoding needs. The empty tree is measured from Play: its first round
    # is as much of its cost as the later ones.
    case $scenario in
      music) sleep 20 ;;
      nodevice) sleep 2 ;;
    esac
    server=$(wineserver_pid)
    a0=$(cpu_ticks "$app_pid") s0=$(cpu_ticks "$server") m0=$(private_kib "$app_pid") o0=$(opened "$trace")
    sleep "$seconds"
    a1=$(cpu_ticks "$app_pid") s1=$(cpu_ticks "$server") m1=$(private_kib "$app_pid") o1=$(opened "$trace")
    printf '%-34s orvane.exe %5.1f %%, wineserver %5.1f %% of one core over %s s; private memory %.1f -> %.1f MiB\n' \
      "$label ($scenario)" \
      "$(awk -v t=$((a1 - a0)) -v hz="$hz" -v s="$seconds" 'BEGIN { print 100 * t / hz / s }')" \
      "$(awk -v t=$((s1 - s0)) -v hz="$hz" -v s="$seconds" 'BEGIN { print 100 * t / hz / s }')" \
      "$seconds" "$(awk -v k="$m0" 'BEGIN { print k / 1024 }')" "$(awk -v k="$m1" 'BEGIN { print k / 1024 }')"
    printf '%-34s files opened %s; completions by code: %s\n' "" "$(opened "$trace")" \
      "$(grep '^Done' "$trace" 2>/dev/null | sort | uniq -c | awk '{ printf "%s%s x%s", s, $3, $1; s = ", " }')"
    if [ "$o1" -gt "$o0" ]; then
      printf '%-34s private memory %+.1f kB per file opened (%s files)\n' "" \
        "$(awk -v m=$((m1 - m0)) -v n=$((o1 - o0)) 'BEGIN { print m / n }')" $((o1 - o0))
    fi
  fi
  stop "$app_pid"
  app_pid=
  end_wine
}
# The Linux program over the same tree: all of its threads, the file
# service's workers included.
report_linux() {
  local hz a0 a1
  hz=$(getconf CLK_TCK)
  write_settings "$sub" 1 "$music"
  start_orvane "${ORVANE_BIN:-$build_dir/orvane}" XDG_STATE_HOME="$work/state" DBUS_SESSION_BUS_ADDRESS=disabled:
  sleep 1
  point_at_button "$window" 6360 click 1
  a0=$(cpu_ticks "$app_pid")
  sleep "$seconds"
  a1=$(cpu_ticks "$app_pid")
  printf '%-34s orvane %5.1f %% of one core over %s s\n' "Linux program ($scenario)" \
    "$(awk -v t=$((a1 - a0)) -v hz="$hz" -v s="$seconds" 'BEGIN { print 100 * t / hz / s }')" "$seconds"
  point_at_button "$window" 3480 click 1 # Stop: no place is left behind
  sleep 0.3
  stop "$app_pid"
  app_pid=
}

report "orvane.exe, Media Foundation + WASAPI" wasapi
report "orvane.exe, MCI" mci
[ "$scenario" != empty ] || report_linux
