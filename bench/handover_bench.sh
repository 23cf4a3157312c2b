#!/usr/bin/env bash
# How long a listener waits for a folder handed to the running program to
# sound: from the second start `orvane FOLDER`, from `playerctl open`, and
# from a drop of the folder on the window (X11's drag and drop, as a file
# manager does it: tests/e2e/xdnd_drop.py, whose own start of some tens of
# milliseconds is counted in), to the new folder's first sample heard,
# through a real sound server and a private session bus. The same for the
# Windows program under Wine (where mingw-w64 and Wine are installed): the
# second start `orvane.exe FOLDER` (Wine's start of a process counted in, as
# a user waits for it), which hands the folder over by WM_COPYDATA, and the
# drop, which Wine gives the window as WM_DROPFILES. Before each measure the
# running copy is made to play another folder and paused; the new folder's
# tone is told by its pitch from whatever the pause leaves to be heard. For
# reference, mpv started on the same file from its command line, in the
# same run. Prints the median (and range) of each. Goal: 300 ms.
#
#   bench/handover_bench.sh              RUNS=7 by default
#
# ORVANE_EXE runs that program instead of building one.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/desktop_bench.sh"

if [ "${1:-}" != --inside ]; then
  need_tools
  command -v dbus-run-session >/dev/null && command -v playerctl >/dev/null ||
    { echo "$(basename "$0"): dbus-run-session and playerctl are needed (scripts/setup.sh installs them)" >&2; exit 1; }
  [ -n "${ORVANE_EXE:-}" ] || build_orvane
  build_orvane_exe_if_possible
  exec "$source_dir/scripts/pulse_session.sh" dbus-run-session -- "$0" --inside
fi

export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
rate=44100
runs=${RUNS:-7}
orvane=${ORVANE_EXE:-$build_dir/orvane}
drop_tool=$source_dir/tests/e2e/xdnd_drop.py

make_work orvane-handover
make_tone "$work/long.mp3" 60 400
make_tone "$work/short.mp3" 1 800
mkdir -p "$work/playing" "$work/new"
cp "$work/long.mp3" "$work/playing/a.mp3"
cp "$work/short.mp3" "$work/new/First song.mp3"
sync

start_recording
start_display
write_settings 0 0 "$work/playing"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state QT_QPA_PLATFORM=xcb
start_orvane "$orvane"

mpris() {
  dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.orvane /org/mpris/MediaPlayer2 \
    "org.mpris.MediaPlayer2.Player.$1" "${@:2}" >/dev/null
}

# The running copy plays the other folder, then pauses: silence.
quiet_again() {
  "$orvane" "$work/playing"
  sleep 0.6
  mpris Pause
  sleep 0.3
}

second_start_once() {
  quiet_again
  FIRST_SOUND_HZ=800 first_sound_ms "$orvane" "$work/new"
}

playerctl_once() {
  quiet_again
  FIRST_SOUND_HZ=800 first_sound_ms playerctl -p orvane open "file://$work/new"
}

# The folder dropped at a point of the main window, by the drop tool.
drop_once() {
  quiet_again
  xdotool mousemove --window "$window" 200 40
  FIRST_SOUND_HZ=800 first_sound_ms /usr/bin/python3 "$drop_tool" "$window" 200 40 "$work/new"
}

mpv_once() {
  FIRST_SOUND_HZ=800 first_sound_ms mpv --no-config --really-quiet --vo=null --length=0.5 "$work/new/First song.mp3"
  sleep 0.8
}

series() {
  local out=()
  for _ in $(seq "$runs"); do
    out+=("$("$1")")
  done
  summary "${out[@]}"
}

find "$work" >/dev/null # warm
second=$(series second_start_once)
open=$(series playerctl_once)
dropped="    (python3-xlib is not installed)"
/usr/bin/python3 -c 'import Xlib' 2>/dev/null && dropped=$(series drop_once)
stop "$app_pid"
app_pid=

# --- the Windows program under Wine ----------------------------------------------------
exe_second="    (no orvane.exe, or no Wine)"
exe_dropped=$exe_second
if have_orvane_exe; then
  use_wine_prefix
  end_wine
  wine_settings "Version=$version" PlayOrder=2 Sub=0 Repeat=0 "PlayPath=$(winpath "$work/playing")"
  wine_forget_place
  start_orvane_exe "$win_build/orvane.exe" "$work/wine.log"
  if [ -n "$window" ]; then
    sleep 1
    # The other folder handed over, then Pause clicked.
    quiet_again() {
      "$wine" "$win_build/orvane.exe" "$(winpath "$work/playing")"
      sleep 0.8
      point_at_button "$window" 5400 click 1
      sleep 0.3
    }
    exe_second_once() {
      quiet_again
      FIRST_SOUND_HZ=800 first_sound_ms "$wine" "$win_build/orvane.exe" "$(winpath "$work/new")"
    }
    exe_second=$(series exe_second_once)
    /usr/bin/python3 -c 'import Xlib' 2>/dev/null && exe_dropped=$(series drop_once)
  else
    echo "handover_bench: the Windows program's main window did not appear" >&2
  fi
  stop "$app_pid"
  app_pid=
  end_wine
fi
reference=$(series mpv_once)

printf '%-40s %s\n' "to the new folder's first sound" "warm, local folder (goal: 300 ms)"
printf '%-40s %s\n' "orvane FOLDER, a second start" "$second"
printf '%-40s %s\n' "playerctl open file://FOLDER" "$open"
printf '%-40s %s\n' "orvane, the folder dropped (XDND)" "$dropped"
printf '%-40s %s\n' "orvane.exe FOLDER, a second start" "$exe_second"
printf '%-40s %s\n' "orvane.exe, the folder dropped (XDND)" "$exe_dropped"
printf '%-40s %s\n' "mpv FILE (reference)" "$reference"
