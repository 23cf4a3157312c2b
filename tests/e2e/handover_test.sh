#!/usr/bin/env bash
# A folder given to the program from outside, on a real X desktop with a
# private session bus and sound server: on the command line (relative to the
# current folder), by a second start that hands it to the running copy, by two
# starts at once, by a start that finds no session bus, and by playerctl open.
# Which file plays is read over MPRIS; what is heard is recorded from the
# sound server, each folder playing a tone of its own.
#
#   tests/e2e/handover_test.sh path/to/orvane
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/private_session.sh
source "$here/private_session.sh"
e2e_begin handover "$@"
others=()
e2e_after() {
  local pid
  for pid in "${others[@]}"; do
    stop "$pid"
  done
}

need_tools dbus-send playerctl parec Xvfb icewm xdotool xwininfo xprop import lame perl python3

# The path of the file heard (plain names here, which its URL keeps as they are).
heard() {
  heard_url | sed 's|^file://||'
}

heard_is() {
  [ "$(heard)" = "$1" ]
}

has_owner() {
  timeout 5 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

main_windows() {
  local w n=0
  for w in $(windows_named 'MP3 Orvane'); do
    if is_viewable "$w" && window_type "$w" | grep -q _NET_WM_WINDOW_TYPE_NORMAL; then
      n=$((n + 1))
    fi
  done
  echo "$n"
}

windows_are() {
  [ "$(main_windows)" -eq "$1" ]
}

path_error_box() {
  shown_window_named 'Path Error'
}

box_shown() {
  path_error_box >/dev/null
}

box_gone() {
  ! path_error_box >/dev/null
}

name_free() {
  ! has_owner org.example.orvane
}

open_uri_fails() {
  ! timeout 5 dbus-send --session --print-reply --dest=$service $obj "$player_if.OpenUri" "string:$1" >/dev/null 2>&1
}

# --- what is heard: the sink's monitor (desktop.sh's recording), one tone a folder

# --- the help and the version, with no display ------------------------------------------

check "--version prints the version and ends with status 0" \
  bash -c "env -u DISPLAY -u WAYLAND_DISPLAY '$bin' --version | grep -qx 'Orvane [0-9.]*'"
check "--help prints the usage and ends with status 0" \
  bash -c "env -u DISPLAY -u WAYLAND_DISPLAY '$bin' --help | grep -q '^Usage: orvane \[FOLDER|FILE\]'"
env -u DISPLAY "$bin" --no-such-option >/dev/null 2>"$work/wrong.log"
check "a wrong option ends with status 2 and says which" \
  test "$?" -eq 2 -a "$(head -n 1 "$work/wrong.log")" = "orvane: unknown option --no-such-option"

# --- the music: one folder at 400 Hz, another at 800 Hz -----------------------------------

start_desktop
start_recording
mkdir -p "$work/one" "$work/two" "$work/stored"
TONE_HZ=400 tone_mp3 40 "$work/one/a.mp3" 2>/dev/null || abort "one/a.mp3 is made"
for name in x y; do
  TONE_HZ=800 tone_mp3 40 "$work/two/$name.mp3" 2>/dev/null || abort "two/$name.mp3 is made"
done
conf=$work/config/Orvane.conf
printf '[General]\nVersion=3.0.0\nPlayOrder=2\nSub=0\nRepeat=0\nPlayPath=%s\n' "$work/stored" >"$conf"

# orvane ARGS... started from $work, as from a terminal there; the pid in
# started_pid.
start_orvane() {
  (cd "$work" && exec env HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$bin" "$@") >>"$work/app.log" 2>&1 &
  started_pid=$!
}

# A second start, run to its end: its status in second_status, the
# milliseconds it took in second_ms, its error output in $work/second.err.
second_start() {
  local t0
  t0=$(now_ms)
  (cd "$work" && timeout 10 env HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$bin" "$@") >/dev/null 2>"$work/second.err"
  second_status=$?
  second_ms=$(($(now_ms) - t0))
}

# --- the command line --------------------------------------------------------------------

sleep 2.5 # the null sink's first two seconds come late; the recording settles
m=$(mark)
start_orvane one
app_pid=$started_pid
wait_for 15 main_window >/dev/null || abort "main window appears"
main=$(main_window)
ok "main window appears"
check "the folder given relative to the current folder plays at once" wait_for 5 heard_is "$work/one/a.mp3"
check "... and is heard" wait_for 5 last_tone_is 400 "$m"
check "the running copy holds the menu entry's name on the bus" has_owner org.example.orvane
# A list property's words, one line.
words_of() {
  prop "$1" org.mpris.MediaPlayer2 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}
check "MPRIS says it takes file URIs" test "$(words_of SupportedUriSchemes)" = "[ file ]"
check "... of MP3 files and folders" test "$(words_of SupportedMimeTypes)" = "[ audio/mpeg inode/directory ]"
shot handover-first

# --- a second start with a file ------------------------------------------------------------

m=$(mark)
second_start two/y.mp3
check "a second start with a file ends with status 0" test "$second_status" -eq 0
check "... within 1 s (${second_ms} ms)" test "$second_ms" -lt 1000
check "the running copy plays that file's folder from that file" wait_for 5 heard_is "$work/two/y.mp3"
check "... and the second folder is heard" wait_for 5 last_tone_is 800 "$m"
check "one main window, where it was" test "$(main_windows)" -eq 1
check "... shown as before" is_shown_normal "$main"
shot handover-second

# --- a second start with a path that names nothing ------------------------------------------

second_start nowhere
check "a second start with a bad path ends with status 0" test "$second_status" -eq 0
check "... and says why on its error output" \
  grep -qx "orvane: $work/nowhere: The Path you have entered is invalid!" "$work/second.err"
check "the running window shows the path error box" wait_for 5 box_shown
shot handover-bad-path
box=$(path_error_box)
x xdotool windowactivate --sync "$box" key Return 2>/dev/null || x xdotool key Return
check "the box closes" wait_for 5 box_gone
check "what played plays on" heard_is "$work/two/y.mp3"
check "... still playing" status_is Playing

# --- the menu entry's Play Folder…: the folder dialog in the running copy --------------------

folder_dialog() {
  shown_window_named 'Choose a directory from the list.'
}
dialog_shown() {
  folder_dialog >/dev/null
}
dialog_gone() {
  ! dialog_shown
}

second_start --choose-folder
check "a second start to choose a folder ends with status 0" test "$second_status" -eq 0
check "... within 1 s (${second_ms} ms)" test "$second_ms" -lt 1000
check "the running copy shows the folder dialog" wait_for 5 dialog_shown
check "... and no second main window" windows_are 1
shot handover-choose-folder
dialog=$(folder_dialog)
x xdotool windowactivate --sync "$dialog" key Escape 2>/dev/null || x xdotool key Escape
check "cancelled, the dialog goes" wait_for 5 dialog_gone
check "... and what played plays on" heard_is "$work/two/y.mp3"

# --- playerctl open, and MPRIS OpenUri --------------------------------------------------------

m=$(mark)
timeout 5 playerctl -p orvane open "file://$work/one" >/dev/null 2>&1
check "playerctl open plays the folder" wait_for 5 heard_is "$work/one/a.mp3"
check "... and it is heard" wait_for 5 last_tone_is 400 "$m"
check "OpenUri with another scheme is an error" open_uri_fails https://example.org/a.mp3
check "OpenUri of a path that is not there is an error" open_uri_fails "file://$work/nowhere"
check "... and neither changes what plays" heard_is "$work/one/a.mp3"
check "... nor shows a box" box_gone

# --- a second start without a folder is a copy of its own --------------------------------------

start_orvane
others+=("$started_pid")
check "a start without a folder opens a second window" wait_for 15 windows_are 2
check "... and the first copy plays on" heard_is "$work/one/a.mp3"
stop "$started_pid"
check "... gone again" wait_for 10 windows_are 1

# --- no session bus: the start is a first copy -------------------------------------------------

(cd "$work" && exec env DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" HOME="$home" \
  XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state-nobus" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=xcb "$bin" two) >>"$work/nobus.log" 2>&1 &
nobus_pid=$!
others+=("$nobus_pid")
check "with no session bus, a start with a folder opens a window of its own" wait_for 15 windows_are 2
check "... and the running copy is left alone" heard_is "$work/one/a.mp3"
stop "$nobus_pid"
wait_for 10 windows_are 1

# --- two starts at once -------------------------------------------------------------------------

stop "$app_pid"
app_pid=
wait_for 10 windows_are 0 || abort "the first copy ends"
wait_for 5 name_free || abort "the name is free again"
m=$(mark)
start_orvane one
first=$started_pid
start_orvane two
second=$started_pid
others+=("$first" "$second")
one_ended() {
  ! kill -0 "$first" 2>/dev/null || ! kill -0 "$second" 2>/dev/null
}
check "of two starts at once, one ends" wait_for 5 one_ended
if ! kill -0 "$first" 2>/dev/null; then
  wait "$first"
  code=$?
  handed=one/a.mp3
  tone=400
else
  wait "$second"
  code=$?
  handed=two/x.mp3
  tone=800
fi
check "... with status 0" test "$code" -eq 0
check "... and the other shows one main window" wait_for 15 windows_are 1
sleep 1
check "... which plays the folder handed to it ($handed)" wait_for 5 heard_is "$work/$handed"
check "... heard" wait_for 5 last_tone_is "$tone" "$m"
check "there is still one main window" windows_are 1

# --- a first start with a path that names nothing -------------------------------------------------

for pid in "$first" "$second"; do
  stop "$pid"
done
wait_for 10 windows_are 0 || abort "the copy ends"
: >"$work/app.log"
chosen=$(grep '^PlayPath=' "$conf")
start_orvane nowhere
app_pid=$started_pid
check "a first start with a bad path shows its window" wait_for 15 windows_are 1
check "... with the path error box" wait_for 5 box_shown
check "... and says why on its error output" \
  wait_for 3 grep -qx "orvane: $work/nowhere: The Path you have entered is invalid!" "$work/app.log"
x xdotool windowactivate --sync "$(path_error_box)" key Return 2>/dev/null || x xdotool key Return
wait_for 5 box_gone
stop "$app_pid"
app_pid=
check "the play path kept in the settings is the one chosen before (${chosen#PlayPath=})" \
  test "$(grep '^PlayPath=' "$conf")" = "$chosen" -a "$chosen" != "PlayPath=$work/nowhere"

summary
