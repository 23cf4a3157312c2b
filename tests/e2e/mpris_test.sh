#!/usr/bin/env bash
# The desktop media controls (MPRIS 2) on a private session bus: the program
# runs on a virtual X desktop with a tray, in a session that offers Wayland
# and X together, and is driven over D-Bus with dbus-send as media keys and
# panel applets drive it, and with playerctl itself; what it says back is read
# the same ways, and its PropertiesChanged signals are watched with
# dbus-monitor.
#
#   tests/e2e/mpris_test.sh path/to/orvane
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/private_session.sh
source "$here/private_session.sh"
e2e_begin mpris "$@"
monitor_pid=
seeked_pid=
e2e_after() { stop "$monitor_pid"; stop "$seeked_pid"; }

need_tools dbus-send dbus-monitor playerctl Xvfb icewm xdotool xwininfo xprop import convert compare lame perl

# --- talking to the player ---------------------------------------------------------

root_if=org.mpris.MediaPlayer2

call() {
  timeout 5 dbus-send --session --print-reply --dest=$service $obj "$player_if.$1" "${@:2}" >/dev/null
}

status() {
  prop PlaybackStatus
}

status_is() {
  [ "$(status)" = "$1" ]
}

# The full reply to Metadata, one dict entry's key and value per line pair.
metadata() {
  timeout 5 dbus-send --session --print-reply --dest=$service $obj \
    org.freedesktop.DBus.Properties.Get string:$player_if string:Metadata 2>/dev/null
}

# One entry of Metadata: the first value line after its key.
meta() {
  metadata | awk -v key="\"$1\"" '
    found && /(string|object path|int64) / { sub(/.*(string|object path|int64) /, ""); gsub(/"/, ""); print; exit }
    $1 == "string" && $2 == key { found = 1 }'
}

metadata_empty() {
  ! metadata | grep -q 'dict entry'
}

# Bytes of a file:// URL's path: every %XX back to its byte.
url_bytes() {
  local p=${1#file://}
  printf '%b' "${p//%/\\x}"
}

# Where playerctl says the file heard is, within a second and a half of $1 s.
pc_position_near() {
  local at
  at=$(pc position) || return 1
  awk -v at="$at" -v want="$1" 'BEGIN { d = at - want; exit !(d < 1.5 && d > -1.5) }'
}

pc_position_not_near() {
  ! pc_position_near "$1"
}

# Seeked signals seen so far.
seeks() {
  grep -c 'member=Seeked' "$work/seeked.log"
}

# PropertiesChanged signals seen so far.
signals() {
  grep -c 'member=PropertiesChanged' "$work/monitor.log"
}

# A PropertiesChanged after the COUNT-th one, holding TEXT (for instance the
# new status).
signal_after_says() {
  awk -v n="$1" '/member=PropertiesChanged/ { seen++ } seen > n' "$work/monitor.log" | grep -q "$2"
}

meta_is() {
  [ "$(meta "$1")" = "$2" ]
}

url_is() {
  meta_is xesam:url "$1"
}

artist_is() {
  metadata | grep -A 3 '"xesam:artist"' | grep -q "string \"$1\""
}

off_bus() {
  ! on_bus
}

# playerctl's answer (its output, errors included) and its exit status.
pc() {
  timeout 5 playerctl -p orvane "$@" 2>&1
}

pc_says() {
  [ "$(pc "${@:2}")" = "$1" ]
}

# The command is sent: playerctl found the player able to take it.
pc_takes() {
  local out
  out=$(pc "$@") && [ -z "$out" ]
}

pc_url_is() {
  pc_says "$1" metadata xesam:url
}

# CanPlay, CanPause and CanGoNext.
cans() {
  echo "$(prop CanPlay) $(prop CanPause) $(prop CanGoNext)"
}

open_uri_refused() {
  ! timeout 5 dbus-send --session --print-reply --dest=$service $obj \
    $player_if.OpenUri "string:$1" >/dev/null 2>&1
}

# --- the desktop, the music and the program ---------------------------------------------

start_desktop
music=$work/music
mkdir -p "$music"
tone_mp3 60 "$music/a.mp3" --tt "Morning Song" --ta "The Band" --tl "First Album" --id3v2-only 2>/dev/null
# A name that is not UTF-8 (Latin-1 "bé.mp3"); such names sort after every
# name that is text, so it is the last file here.
second=$music/$'b\xe9.mp3'
tone_mp3 60 "$second" 2>/dev/null
conf=$work/config/Orvane.conf
printf '[General]\nVersion=3.0.0\nPlayOrder=2\nSub=0\nRepeat=0\nPlayPath=%s\n' "$music" >"$conf"

dbus-monitor --session "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',path='$obj'" \
  >"$work/monitor.log" 2>&1 &
monitor_pid=$!
dbus-monitor --session "type='signal',interface='$player_if',member='Seeked',path='$obj'" >"$work/seeked.log" 2>&1 &
seeked_pid=$!

# A Wayland session that offers X too: the program goes to X, where the tray
# works, without trying Wayland first (Qt would, for such a session).
env -u QT_QPA_PLATFORM WAYLAND_DISPLAY=orvane-test-wayland XDG_SESSION_TYPE=wayland HOME="$home" \
  XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" "$bin" >"$work/app.log" 2>&1 &
app_pid=$!

wait_for 15 main_window >/dev/null || abort "main window appears"
main=$(main_window)
ok "main window appears in a session with Wayland and X"
check "it runs on X without trying Wayland" bash -c "! grep -q 'plugin \"wayland\"' '$work/app.log'"
check "the player is on the session bus as $service" wait_for 5 on_bus

# --- what it says of itself ---------------------------------------------------------------

check "Identity is \"Orvane\"" test "$(prop Identity $root_if)" = "Orvane"
check "DesktopEntry names the menu entry" test "$(prop DesktopEntry $root_if)" = "org.example.orvane"
check "CanRaise; not CanQuit, not CanSetFullscreen (Exit stays in the tray menu)" \
  test "$(prop CanRaise $root_if) $(prop CanQuit $root_if) $(prop CanSetFullscreen $root_if)" = "true false false"
check "stopped at start" status_is Stopped
check "nothing to show before Play" metadata_empty
check "CanGoPrevious and CanSeek are false, CanControl true" \
  test "$(prop CanGoPrevious) $(prop CanSeek) $(prop CanControl)" = "false false true"
check "CanPlay while stopped; not CanPause, not CanGoNext" test "$(cans)" = "true false false"
check "OpenUri of another scheme is refused" open_uri_refused "https://example.org/a.mp3"
check "... and of a file that is no .mp3" open_uri_refused "file://$conf"
check "... and playback stays stopped" status_is Stopped

# --- into the tray, then driven over the bus ----------------------------------------------

x xdotool windowminimize "$main"
check "minimise puts an icon in the tray" wait_for 5 has_tray_icon
check "the tray shows the not-paused image" wait_for 3 tray_hue_is green

before=$(signals)
call Pause
call Next
call Previous
sleep 1
check "Pause and Next while stopped change nothing (their items are disabled)" status_is Stopped
check "... and say nothing" test "$(signals)" -eq "$before"

before=$(signals)
call Play
check "Play starts the configured tree" wait_for 5 status_is Playing
check "PropertiesChanged arrives with the new status" wait_for 3 signal_after_says "$before" '"Playing"'
first_url="file://$music/a.mp3"
check "the first file of the tree is heard" wait_for 5 url_is "$first_url"
check "its title comes from its tags" wait_for 3 meta_is xesam:title "Morning Song"
check "... and its album" meta_is xesam:album "First Album"
check "... and its artist, as a list" artist_is "The Band"
length=$(meta mpris:length)
check "its length is about 60 s (${length:-none} us)" test "${length:-0}" -gt 59000000 -a "${length:-0}" -lt 61000000
first_track=$(meta mpris:trackid)
check "playing: CanPlay, CanPause and CanGoNext" test "$(cans)" = "true true true"
check "the tray still shows the not-paused image" tray_hue_is green
check "the window stays in the tray" is_hidden "$main"

call Next
second_url_ok() {
  local url
  url=$(meta xesam:url)
  [ "$url" != "$first_url" ] && [ "$(url_bytes "$url")" = "$second" ]
}
check "Next moves to the next file, whose name comes back byte for byte" wait_for 5 second_url_ok
check "with a track id of its own" test "$(meta mpris:trackid)" != "$first_track" -a -n "$first_track"
title_is_its_name() {
  [[ "$(meta xesam:title)" == b?*.mp3 ]]
}
check "its title is its name (it has no tags)" title_is_its_name

before=$(signals)
call Pause
check "Pause pauses" wait_for 3 status_is Paused
check "Pause turns the tray image to the paused one" wait_for 5 tray_hue_is amber
check "PropertiesChanged arrives with Paused" wait_for 3 signal_after_says "$before" '"Paused"'
check "paused: CanPlay and CanPause (a file is paused), not CanGoNext" test "$(cans)" = "true true false"
paused_url=$(meta xesam:url)

before=$(signals)
call Next
sleep 1
check "Next while paused changes nothing (Skip is disabled)" url_is "$paused_url"
check "... stays paused" status_is Paused
check "... and says nothing" test "$(signals)" -eq "$before"
check "... and the tray keeps the paused image" tray_hue_is amber

call PlayPause
check "PlayPause resumes" wait_for 3 status_is Playing
check "the tray shows the not-paused image again" wait_for 5 tray_hue_is green
call PlayPause
check "PlayPause pauses again" wait_for 3 status_is Paused
check "... and the tray follows" wait_for 5 tray_hue_is amber
call PlayPause

before=$(signals)
call Stop
check "Stop returns to Stopped" wait_for 3 status_is Stopped
check "... with empty metadata" metadata_empty
check "PropertiesChanged arrives with Stopped" wait_for 3 signal_after_says "$before" '"Stopped"'
check "the tray shows the not-paused image" wait_for 5 tray_hue_is green
check "the window is still in the tray" is_hidden "$main"

# --- playerctl, which asks the Can properties before it sends a command -----------------

check "playerctl: status while stopped" pc_says Stopped status
check "playerctl: no metadata while stopped" pc_says "No player could handle this command" metadata
check "playerctl play starts the tree" pc_takes play
check "... Playing" wait_for 5 pc_says Playing status
check "playerctl: the url of the file playing" wait_for 5 pc_url_is "$first_url"
check "playerctl: its title" pc_says "Morning Song" metadata title
pc_length=$(pc metadata mpris:length)
check "playerctl: its length (${pc_length:-none} us)" test "$pc_length" = "$length"
check "playerctl: the whole metadata while playing" bash -c "timeout 5 playerctl -p orvane metadata | grep -q '^orvane xesam:album  *First Album$'"
before=$(signals)
check "playerctl play while playing is taken" pc_takes play
sleep 1
check "... and changes nothing" test "$(status) $(meta xesam:url) $(signals)" = "Playing $first_url $before"
check "playerctl next while playing" pc_takes next
check "... moves to the next file" wait_for 5 second_url_ok
check "playerctl pause while playing" pc_takes pause
check "... Paused" wait_for 3 pc_says Paused status
check "... and the tray follows" wait_for 5 tray_hue_is amber
check "playerctl: the url while paused" pc_url_is "$(meta xesam:url)"
check "playerctl: the title while paused" title_is_its_name
check "playerctl pause while paused is taken and changes nothing" pc_takes pause
check "... still Paused" pc_says Paused status
paused_url=$(meta xesam:url)
check "playerctl next while paused is refused (Skip is disabled)" \
  pc_says "No player could handle this command" next
check "... the file stays" pc_url_is "$paused_url"
check "playerctl play-pause while paused resumes" pc_takes play-pause
check "... Playing" wait_for 3 pc_says Playing status
check "playerctl play-pause while playing pauses" pc_takes play-pause
check "... Paused" wait_for 3 pc_says Paused status
check "playerctl play while paused resumes" pc_takes play
check "... Playing" wait_for 3 pc_says Playing status
check "playerctl stop while playing" pc_takes stop
check "... Stopped" wait_for 3 pc_says Stopped status
check "... and none to show" metadata_empty
check "playerctl play-pause while stopped starts the tree again" pc_takes play-pause
check "... from its first file" wait_for 5 pc_url_is "$first_url"

# --- seeking in the file heard ---------------------------------------------------------------

check "playing a file: CanSeek" wait_for 3 test "$(prop CanSeek)" = true
before=$(seeks)
check "playerctl position 40 is taken" pc_takes position 40
check "... and the file is heard from there" wait_for 3 pc_position_near 40
check "... with a Seeked signal" wait_for 3 test "$(seeks)" -gt "$before"
check "playerctl position 10- goes back 10 s" pc_takes position 10-
check "... to about 30 s" wait_for 3 pc_position_near 30
timeout 5 dbus-send --session --print-reply --dest=$service $obj $player_if.SetPosition \
  objpath:/org/example/orvane/track/0 int64:5000000 >/dev/null
sleep 1
check "SetPosition with a stale track id changes nothing" pc_position_not_near 5
timeout 5 dbus-send --session --print-reply --dest=$service $obj $player_if.SetPosition \
  "objpath:$(meta mpris:trackid)" int64:5000000 >/dev/null
check "SetPosition with the track's own id goes there" wait_for 3 pc_position_near 5
call Seek int64:-20000000
check "Seek before the start goes to the start" wait_for 3 pc_position_near 0.5
call Seek int64:100000000
check "Seek past the end plays the next file" wait_for 5 second_url_ok
check "... from its start" pc_position_near 0.5
pc_takes pause && wait_for 3 pc_says Paused status
check "playerctl stop while paused" pc_takes stop
check "... Stopped" wait_for 3 pc_says Stopped status
check "the tray shows the not-paused image" wait_for 5 tray_hue_is green

timeout 5 dbus-send --session --print-reply --dest=$service $obj $root_if.Raise >/dev/null
check "Raise brings the window back as Settings does" wait_for 5 is_shown_normal "$main"
check "... and the tray icon goes" wait_for 3 no_tray_icon
shot mpris-raised

# --- Shuffle Folders and Repeat All, as playerctl sets them ---------------------------------

conf_says() {
  grep -qx "$1" "$conf"
}

check "playerctl shuffle: Off at first" pc_says Off shuffle
check "playerctl loop: None at first" pc_says None loop
pc shuffle On >/dev/null
sleep 0.5
check "playerctl shuffle On without Subdirectories changes nothing" pc_says Off shuffle
read -r _ _ main_w main_h <<<"$(window_geometry "$main")"
# The window's own context menu is the tray's: a right click on Stop, then
# Shift+F10, each closed with Escape.
x xdotool mousemove --window "$main" $(((3480 + 487) * main_w / 7455)) $(((720 + 247) * main_h / 1305)) click 3
check "a right click on the window opens the tray's menu" wait_for 3 menu_open
shot mpris-context-menu
x xdotool key Escape
check "... Escape closes it" wait_for 3 menu_closed
x xdotool mousemove --window "$main" $(((1920 + 300) * main_w / 7455)) $(((960 + 187) * main_h / 1305)) click 1
check "Subdirectories checked in the window" wait_for 3 conf_says Sub=1
x xdotool key shift+F10
check "Shift+F10 opens the menu" wait_for 3 menu_open
x xdotool key f
check "its Shuffle Folders, chosen by its letter, is stored beside the five" wait_for 3 conf_says ShuffleFolders=1
x xdotool key shift+F10
check "Shift+F10 opens the menu again" wait_for 3 menu_open
x xdotool key e
check "its Even Loudness, chosen by its letter, is stored beside the five" wait_for 3 conf_says EvenLoudness=1
check "playerctl shuffle: On" wait_for 3 pc_says On shuffle
pc shuffle Off >/dev/null
check "playerctl shuffle Off" wait_for 3 pc_says Off shuffle
check "... stored" wait_for 3 conf_says ShuffleFolders=0
pc shuffle On >/dev/null
check "playerctl shuffle On" wait_for 3 pc_says On shuffle
pc loop Playlist >/dev/null
check "playerctl loop Playlist" wait_for 3 pc_says Playlist loop
check "... is Repeat All, stored" wait_for 3 conf_says Repeat=1
before=$(signals)
pc loop Track >/dev/null
sleep 0.5
check "playerctl loop Track is refused, the state unchanged" pc_says Playlist loop
check "... and Repeat All still stored" conf_says Repeat=1
check "... the value that stands is reported again" wait_for 3 signal_after_says "$before" '"Playlist"'
pc loop None >/dev/null
check "playerctl loop None" wait_for 3 pc_says None loop
pc shuffle Toggle >/dev/null
check "playerctl shuffle Toggle" wait_for 3 pc_says Off shuffle
check "... stored" wait_for 3 conf_says ShuffleFolders=0

# --- leaving ---------------------------------------------------------------------------------

x xdotool windowminimize "$main"
wait_for 5 has_tray_icon
open_tray_menu || abort "the tray menu opens for Exit"
x xdotool key x
check "Exit ends the program" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid"
  status_code=$?
  app_pid=
  check "the program ends with status 0" test "$status_code" -eq 0
fi
check "the player leaves the bus" wait_for 3 off_bus
if grep -qiE 'dbus|mpris' "$work/app.log"; then
  not_ok "the program says nothing about D-Bus"
  grep -iE 'dbus|mpris' "$work/app.log" | head -n 5
else
  ok "the program says nothing about D-Bus"
fi

summary
