#!/usr/bin/env bash
# The Windows program on a slow share under Wine: the play path lies on a FUSE
# file system that waits before it gives a folder's entries and before the
# first read of each opened file (tests/e2e/slow_share.py --wait-on=read: Wine's
# server opens files itself, and a wait in an open would hold every Wine
# thread, which Windows does not do), reached as Wine's drive Z:. The program plays the
# tree in order while its window answers at once: a Pause clicked while the
# share still has to answer reaches the media control (the trace the program
# writes when ORVANE_TRACE names a file) within half a second, and so does
# Stop when the share has stopped answering. Runs on a virtual desktop and,
# where PulseAudio is installed, a private sound server with a null sink
# (otherwise ALSA's null device), in the Wine prefix of the Windows build.
#
#   tests/e2e/wine_slow_share_test.sh BUILD_FOLDER   (a built mingw folder)
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/wine_session.sh
source "$here/wine_session.sh"
wine_begin wine-slow-share "$@"
shots=$work

share_pid=
unmount() {
  mountpoint -q "$work/share" 2>/dev/null && fusermount3 -u -z "$work/share"
}
wine_after() {
  echo 0 >"$work/delay" 2>/dev/null # what the program still waits for comes now
  stop "$app_pid"
  app_pid=
  "$wineserver" -k 2>/dev/null
  unmount
  stop "$share_pid"
}

need_tools Xvfb icewm xdotool xwininfo xprop lame perl fusermount3 mountpoint /usr/bin/python3 "$wine" "$wineserver"
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || abort "python3-fusepy is installed (scripts/setup.sh)"

start_wine_desktop

# --- the share and the program ---------------------------------------------------------

delay=1 # the share's wait before each listing and each file's first read, in seconds
src=$work/music
expected=()
for f in A/a1 A/a2 B/b1 B/C/c1 B/C/c2 D/d1 D/d2; do
  mkdir -p "$src/$(dirname "$f")"
  tone_mp3 3 "$src/$f.mp3" 2>/dev/null || abort "lame makes $f.mp3"
  expected+=("$(winpath "$work/share/$f.mp3")")
done
mkdir -p "$work/share"
echo "$delay" >"$work/delay"
/usr/bin/python3 "$here/slow_share.py" "$src" "$work/share" "$work/delay" --wait-on=read \
  >"$work/share.log" 2>&1 &
share_pid=$!
wait_for 10 mountpoint -q "$work/share" || abort "the slow share is mounted"

key='HKCU\Software\Orvane'
"$wine" reg delete "$key" /f >/dev/null 2>&1
for value in "Version=3.0.0" "PlayOrder=2" "Sub=1" "Repeat=0" "PlayPath=$(winpath "$work/share")"; do
  "$wine" reg add "$key" /v "${value%%=*}" /t REG_SZ /d "${value#*=}" /f >/dev/null 2>&1
done

trace=$work/trace.log
: >"$trace"
ORVANE_TRACE=$(winpath "$trace") "$wine" "$build/orvane.exe" >"$work/app.log" 2>&1 &
app_pid=$!
wait_for 30 main_window >/dev/null || abort "main window appears"
main=$(main_window)
read -r _ _ main_w main_h <<<"$(window_geometry "$main")"

# A click at the centre of a control of the main window's twips layout.
click_main() {
  x xdotool mousemove --window "$main" $((($1 + $3 / 2) * main_w / 7455)) $((($2 + $4 / 2) * main_h / 1305)) click 1
}
count() {
  grep -c "$1" "$trace"
}
at_least() {
  [ "$(count "$1")" -ge "$2" ]
}
# Clicks a control and prints how many milliseconds passed until the trace
# holds one more line that starts with the word given (9999: none came).
answer_ms() {
  local word=$1 before t0 waited
  shift
  before=$(count "^$word")
  t0=$(now_ms)
  click_main "$@"
  while [ "$(count "^$word")" -le "$before" ]; do
    waited=$(($(now_ms) - t0))
    [ "$waited" -lt 5000 ] || { echo 9999; return; }
    sleep 0.01
  done
  echo $(($(now_ms) - t0))
}

# --- a slow share: the music in order, the window at once ------------------------------------

play_button=(6360 720 975 495)
pause_button=(5400 720 975 495)
stop_button=(3480 720 975 495)
click_main "${play_button[@]}"
waits=()
# While a file of each folder opens, the folders after it are read: a Pause
# and the resume then (Play, on a paused file), each timed from the click to
# the trace.
for nth in 2 4; do
  wait_for 30 at_least '^FileName ' "$nth" || break
  waits+=("$(answer_ms pause "${pause_button[@]}")")
  waits+=("$(answer_ms pause "${play_button[@]}")")
done
done_all() {
  [ "$(count '^Done')" -ge ${#expected[@]} ]
}
wait_for 60 done_all
played=$(sed -n 's/^FileName //p' "$trace")
if ! check "every file plays, in order" test "$played" = "$(printf '%s\n' "${expected[@]}")"; then
  echo "--- played"
  echo "$played"
fi
check "each file played to its end" test "$(count '^Done 1')" -eq ${#expected[@]}
longest=$(printf '%s\n' "${waits[@]}" | sort -n | tail -n 1)
check "Pause and resume reached the media control within 500 ms while the share answered slowly ($(printf '%s ' "${waits[@]}")ms)" \
  test "${#waits[@]}" -eq 4 -a "${longest:-9999}" -lt 500

# --- a share that stops answering: Play, then Stop ----------------------------------------

echo 30 >"$work/delay"
wait_for 5 bash -c "tail -n 1 '$trace' | grep -q '^Close'"
click_main "${play_button[@]}"
sleep 0.5
plays=$(count '^Play$')
stop_wait=$(answer_ms Close "${stop_button[@]}")
check "Stop reached the media control within 500 ms while the share did not answer (${stop_wait} ms)" \
  test "$stop_wait" -lt 500
echo 0 >"$work/delay"
sleep 3 # the answers to the calls before the Stop come in meanwhile
check "the answers that come after Stop start nothing" test "$(count '^Play$')" -eq "$plays"

summary
