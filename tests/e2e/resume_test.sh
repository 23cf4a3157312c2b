#!/usr/bin/env bash
# The place kept across the program's end, on a real X desktop and a private
# session bus: the program is killed while it plays, closed by the user,
# stopped, killed again on the file it played on by itself, ended with the
# session while paused, and closed while it looks for the next folder; which
# file it plays and where is read over MPRIS, as a panel applet reads it.
#
#   tests/e2e/resume_test.sh path/to/orvane
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/private_session.sh
source "$here/private_session.sh"
e2e_begin resume "$@"

share_pid=
e2e_after() {
  mountpoint -q "$work/share" 2>/dev/null && fusermount3 -u -z "$work/share"
  stop "$share_pid"
}

need_tools dbus-send Xvfb icewm xdotool xwininfo xprop import lame perl fusermount3 mountpoint /usr/bin/python3
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || abort "python3-fusepy is installed (scripts/setup.sh)"

# The file heard: the name at the end of Metadata's xesam:url.
heard() {
  heard_url | sed 's|.*/||'
}

heard_is() {
  [ "$(heard)" = "$1" ]
}

# Whole seconds into the file heard.
seconds_in() {
  local us
  us=$(prop Position)
  echo $(((${us:--1000000}) / 1000000))
}

at_least_in() {
  heard_is "$1" && [ "$(seconds_in)" -ge "$2" ]
}

start_desktop
music=$work/music
mkdir -p "$music"
for n in 1 2 3; do
  tone_mp3 12 "$music/track$n.mp3" 2>/dev/null || abort "track$n.mp3 is made"
done
conf=$work/config/Orvane.conf
printf '[General]\nVersion=3.0.0\nPlayOrder=2\nSub=0\nRepeat=0\nPlayPath=%s\n' "$music" >"$conf"
place=$work/state/Orvane/place

start_app() {
  env HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$bin" >>"$work/app.log" 2>&1 &
  app_pid=$!
  wait_for 15 main_window >/dev/null || abort "main window appears"
  main=$(main_window)
  wait_for 5 on_bus || abort "the player is on the bus"
}

click_button() { # left offset of the button in twips
  local w h
  read -r _ _ w h <<<"$(window_geometry "$main")"
  x xdotool mousemove --window "$main" $((($1 + 487) * w / 7455)) $(((720 + 247) * h / 1305)) click 1
}
click_play() { click_button 6360; }
click_pause() { click_button 5400; }
click_stop() { click_button 3480; }

kill_app() {
  kill -KILL "$app_pid"
  wait "$app_pid" 2>/dev/null
  app_pid=
}

stays_quiet() { # for two seconds after the window shows
  sleep 2
  status_is Stopped
}

# --- killed while it plays --------------------------------------------------------

start_app
click_play
check "Play plays the first file" wait_for 5 heard_is track1.mp3
wait_for 30 at_least_in track2.mp3 8 || abort "the second file plays 8 s in"
kill_app
check "the place file is there after the kill" test -s "$place"

start_app
check "the next start plays on by itself" wait_for 10 status_is Playing
check "from the same file" heard_is track2.mp3
check "from a little before where it was (3 s or more in)" wait_for 2 at_least_in track2.mp3 3
shot resumed-by-itself

# --- closed by the user -------------------------------------------------------------

wait_for 10 at_least_in track2.mp3 9 || true
# Alt+F4: the window manager asks the window to close, as its close button does.
x xdotool windowactivate --sync "$main" key alt+F4
check "the close ends the program" wait_for 10 app_ended || kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=
start_app
check "after a close the start is quiet" stays_quiet
click_play
check "Play plays on from the same file" wait_for 5 heard_is track2.mp3
check "from a little before where it was closed (6 s or more in)" wait_for 2 at_least_in track2.mp3 6

# --- Stop forgets ---------------------------------------------------------------------

click_stop
check "Stop stops" wait_for 5 status_is Stopped
check "Stop forgets the place" wait_for 3 test ! -e "$place"
click_play
check "Play after Stop starts the tree from its first file" wait_for 5 heard_is track1.mp3
check "from its beginning" test "$(seconds_in)" -le 1

# --- a file that ends the program every time ------------------------------------------

wait_for 20 at_least_in track2.mp3 3 || abort "the second file plays again"
kill_app
start_app
check "killed again: plays on by itself" wait_for 10 heard_is track2.mp3
kill_app # before the sequence moved to another file
start_app
check "killed on the file it played on by itself: the start is quiet" stays_quiet
click_play
check "and Play goes on from the file after it" wait_for 5 heard_is track3.mp3
check "from its beginning" test "$(seconds_in)" -le 1
kill_app

# --- paused, then the session ends ------------------------------------------------------

start_app
wait_for 10 status_is Playing || true
click_stop
check "Stop forgets the place again" wait_for 3 test ! -e "$place"
click_play
wait_for 30 at_least_in track2.mp3 5 || abort "the second file plays 5 s in"
click_pause
check "Pause pauses" wait_for 5 status_is Paused
kill -TERM "$app_pid" # as the session's end does
check "the end of the session ends the program" wait_for 10 app_ended || kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=
start_app
check "the next start comes back paused" wait_for 10 status_is Paused
sleep 2
check "and stays paused, silent" status_is Paused
click_play
check "Play goes on from the paused file" wait_for 5 heard_is track2.mp3
check "from a little before where it was paused (3 s or more in)" wait_for 2 at_least_in track2.mp3 3
x xdotool windowactivate --sync "$main" key alt+F4
check "the close ends the program" wait_for 10 app_ended || kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=

# --- closed while it looks for the next folder ------------------------------------------

# A short file, then empty folders before the next one, on a share whose
# listing of one of them does not answer until the test lets it: a close
# after the first file lands while the sequence looks through them.
tree=$work/tree
mkdir -p "$tree"
tone_mp3 3 "$tree/first.mp3" 2>/dev/null || abort "first.mp3 is made"
for n in 1 2 3 4 5; do mkdir "$tree/e$n"; done
mkdir -p "$tree/zz"
tone_mp3 12 "$tree/zz/next.mp3" 2>/dev/null || abort "next.mp3 is made"
mkdir -p "$work/share"
echo 600 >"$work/delay"
echo /e3 >"$work/delay.only"
/usr/bin/python3 "$here/slow_share.py" "$tree" "$work/share" "$work/delay" >"$work/share.log" 2>&1 &
share_pid=$!
wait_for 10 mountpoint -q "$work/share" || abort "the slow share is mounted"
printf '[General]\nVersion=3.0.0\nPlayOrder=2\nSub=1\nRepeat=0\nPlayPath=%s\n' "$work/share" >"$conf"
rm -f "$place"
start_app
check "after a close the start is quiet" stays_quiet
click_play
check "Play plays the first file of the tree" wait_for 5 heard_is first.mp3
sleep 3.5 # the first file has ended
check "the next folder is still looked for" eval 'grep -q "^held /e3$" "$work/share.log" && status_is Playing && ! heard_is next.mp3'
x xdotool windowactivate --sync "$main" key alt+F4
echo 0 >"$work/delay" # a call held in the share keeps the process until it answers
check "the close ends the program" wait_for 10 app_ended || kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=
check "the place is kept as a close" grep -q '^running=0$' "$place"
start_app
check "a close while it looked for the next folder: the start is quiet" stays_quiet
kill_app

summary
