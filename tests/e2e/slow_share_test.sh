#!/usr/bin/env bash
# Music on a slow share: the play path lies on a FUSE file system that waits
# before every folder listing and every open (tests/e2e/slow_share.py), as a
# NAS over Wi-Fi or a sleeping disk does. The program plays the tree in order
# while its window keeps answering at once (read over MPRIS, which the window
# thread serves); when the share stops answering, Stop and Exit still act at
# once. Runs on a virtual desktop, a private session bus and a private sound
# server whose sink is a null sink.
#
#   tests/e2e/slow_share_test.sh path/to/orvane
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/private_session.sh
source "$here/private_session.sh"
e2e_begin slow-share "$@"
share_pid=
sampler_pid=
unmount() {
  mountpoint -q "$work/share" 2>/dev/null && fusermount3 -u -z "$work/share"
}
e2e_after() {
  stop "$sampler_pid"
  unmount
  stop "$share_pid"
}

need_tools dbus-send Xvfb icewm xdotool xwininfo xprop lame perl fusermount3 mountpoint /usr/bin/python3
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || abort "python3-fusepy is installed (scripts/setup.sh)"

# How long the window may take for a Get: far below the share's wait, so a
# window that waited for the share would show, and far above what a busy
# machine adds.
bound_ms=700
delay=1 # the share's wait before each listing and each open, in seconds

service=org.mpris.MediaPlayer2.orvane
obj=/org/mpris/MediaPlayer2
player_if=org.mpris.MediaPlayer2.Player

call() {
  timeout 5 dbus-send --session --print-reply --dest=$service $obj "$player_if.$1" >/dev/null
}

prop() {
  timeout 5 dbus-send --session --print-reply=literal --dest=$service $obj \
    org.freedesktop.DBus.Properties.Get "string:$player_if" "string:$1" 2>/dev/null |
    sed -e 's/^ *variant *//' -e 's/^[a-z0-9]* //' -e 's/ *$//'
}

# The file heard, as the share's path below its root.
heard() {
  timeout 5 dbus-send --session --print-reply --dest=$service $obj \
    org.freedesktop.DBus.Properties.Get "string:$player_if" "string:Metadata" 2>/dev/null |
    grep -A1 '"xesam:url"' | sed -n 's|.*string "file://.*/share/\(.*\)"|\1|p'
}

on_bus() {
  timeout 5 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$service" 2>/dev/null | grep -q 'boolean true'
}

status_is() {
  [ "$(prop PlaybackStatus)" = "$1" ]
}

# Every 150 ms: how long a Get of the window took, and what it said.
sample() {
  while true; do
    local t0 t1 status
    t0=$(now_ms)
    status=$(prop PlaybackStatus)
    t1=$(now_ms)
    echo "$((t1 - t0)) ${status:-none} $(heard)"
    sleep 0.15
  done
}

longest_wait() {
  awk 'BEGIN { m = 0 } $1 > m { m = $1 } END { print m }' "$1"
}

# --- the share, the desktop and the program ------------------------------------------------

start_desktop
src=$work/music
for f in A/a1 A/a2 B/b1 B/C/c1 B/C/c2 D/d1 D/d2; do
  mkdir -p "$src/$(dirname "$f")"
  tone_mp3 3 "$src/$f.mp3" 2>/dev/null
done
mkdir -p "$work/share"
echo "$delay" >"$work/delay"
/usr/bin/python3 "$here/slow_share.py" "$src" "$work/share" "$work/delay" >"$work/share.log" 2>&1 &
share_pid=$!
wait_for 10 mountpoint -q "$work/share" || abort "the slow share is mounted"

conf=$work/config/Orvane.conf
mkdir -p "$work/config"
printf '[General]\nVersion=3.0.0\nPlayOrder=2\nSub=1\nRepeat=0\nPlayPath=%s\n' "$work/share" >"$conf"
HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" "$bin" >"$work/app.log" 2>&1 &
app_pid=$!
wait_for 15 main_window >/dev/null || abort "main window appears"
wait_for 5 on_bus || abort "the player is on the session bus"

# --- a slow share: the music in order, the window at once ---------------------------------

sample >"$work/play.samples" &
sampler_pid=$!
call Play
wait_for 10 status_is Playing || abort "Play starts the music on the slow share"
wait_for 90 status_is Stopped
stop "$sampler_pid"
sampler_pid=
order=$(awk 'NF == 3 && $3 != last { print $3; last = $3 }' "$work/play.samples" | tr '\n' ' ')
check "every file plays, in order (heard: $order)" \
  test "$order" = "A/a1.mp3 A/a2.mp3 B/b1.mp3 B/C/c1.mp3 B/C/c2.mp3 D/d1.mp3 D/d2.mp3 "
wait=$(longest_wait "$work/play.samples")
check "the window answered within $bound_ms ms throughout (longest ${wait} ms)" test "$wait" -lt "$bound_ms"

# --- a share that stops answering: Play, then Stop ------------------------------------------

echo 4 >"$work/delay" # a call now takes longer than the checks below wait
sample >"$work/gone.samples" &
sampler_pid=$!
call Play
sleep 1
check "Play on a share that does not answer does not play" status_is Stopped
call Stop
echo 0 >"$work/delay"
sleep 6 # the answers to the calls before the Stop come in meanwhile
check "the answers that come after Stop start nothing" status_is Stopped
stop "$sampler_pid"
sampler_pid=
wait=$(longest_wait "$work/gone.samples")
check "the window answered within $bound_ms ms while the share was gone (longest ${wait} ms)" \
  test "$wait" -lt "$bound_ms"

# --- Play and Stop again and again on a share that hangs: the threads stay few ----------------

threads() {
  find "/proc/$app_pid/task" -mindepth 1 -maxdepth 1 | wc -l
}
held() {
  grep -c '^held ' "$work/share.log"
}
echo / >"$work/delay.only" # every call waits, and says so
echo 60 >"$work/delay"
for round in 1 2; do
  calls=$(held)
  call Play
  wait_for 5 test "$(held)" -gt "$calls" || abort "Play asks the hung share (round $round)"
  call Stop
done
before=$(threads)
for round in 1 2 3 4; do
  call Play
  sleep 0.3
  call Stop
done
after=$(threads)
check "four more Play and Stop on the hung share make no thread ($before threads, then $after)" \
  test "$after" -le "$before"
rm -f "$work/delay.only"

# --- Exit while a call is stuck --------------------------------------------------------------

echo 60 >"$work/delay"
call Play
sleep 0.5
x xdotool windowminimize "$(main_window)"
wait_for 5 has_tray_icon || abort "the window goes to the tray for Exit"
open_tray_menu || abort "the menu opens for Exit"
x xdotool key x
# The window thread is done at once. A thread inside a call to a FUSE share
# cannot be ended by anyone (the kernel waits for the share's answer), so the
# process itself ends when the share answers; on NFS and SMB, whose waits the
# kernel ends for a process that exits, it ends at once.
main_thread_ended() {
  local state
  state=$(awk '{ print $3 }' "/proc/$app_pid/stat" 2>/dev/null)
  { [ -z "$state" ] || [ "$state" = Z ]; } && ! main_window >/dev/null
}
check "Exit closes the window at once though a call is stuck on the share" wait_for 1 main_thread_ended
check "Exit stores the settings" grep -q '^PlayOrder=2' "$conf"
echo 0 >"$work/delay"
check "the program has ended once the share answers the call it held" wait_for 3 app_ended
app_pid=

# --- Exit while mpv opens a file the share holds ----------------------------------------------

echo A/a2 >"$work/delay.only"
echo 60 >"$work/delay"
HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" "$bin" >"$work/app2.log" 2>&1 &
app_pid=$!
wait_for 15 main_window >/dev/null || abort "main window appears again"
wait_for 5 on_bus || abort "the player is on the session bus again"
call Play
wait_for 10 status_is Playing || abort "Play starts the music again"
wait_for 10 grep -q '^held /A/a2.mp3' "$work/share.log" || abort "the next file is opened ahead, and held"
x xdotool windowminimize "$(main_window)"
wait_for 5 has_tray_icon || abort "the window goes to the tray for Exit"
open_tray_menu || abort "the menu opens for Exit"
x xdotool key x
check "Exit ends the program at once though mpv waits for the share" wait_for 1 main_thread_ended
echo 0 >"$work/delay"
rm -f "$work/delay.only"
wait_for 5 app_ended
app_pid=

summary
