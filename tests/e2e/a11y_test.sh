#!/usr/bin/env bash
# The program as a blind user meets it: a real AT-SPI client (pyatspi) reads
# the windows' accessible trees, and the window's and the tray's menus as
# their items take the focus, on a private session bus with its own
# accessibility bus, while the program is driven with the keyboard alone
# (xdotool) on a virtual X desktop with a tray. The browser the About link
# would start is a stand-in that records the address it was given.
#
#   tests/e2e/a11y_test.sh path/to/orvane
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/private_session.sh
source "$here/private_session.sh"
e2e_begin a11y "$@"

need_tools pulseaudio Xvfb icewm xdotool xwininfo xprop import convert compare lame perl
# pyatspi is a Debian package of the system's Python, whichever python3 comes
# first on the PATH.
atspi_python=/usr/bin/python3
"$atspi_python" -c 'import pyatspi' 2>/dev/null || abort "pyatspi is installed (scripts/setup.sh installs it)"
[ -x /usr/libexec/at-spi-bus-launcher ] || abort "at-spi2-core is installed (scripts/setup.sh installs it)"

# --- what a screen reader sees -------------------------------------------------------

atspi() {
  timeout 10 "$atspi_python" "$here/a11y_tree.py" "$@" 2>>"$work/atspi.log"
}

# depth|role|name of every object of a window, in the order a screen reader
# reads them.
roles_and_names() {
  atspi tree "$1" | cut -d'|' -f1-3
}

# The main window's accessible description.
description() {
  atspi tree 'MP3 Orvane' | awk -F'|' '$1 == 0 && $2 == "frame" { print $4; exit }'
}

description_is() {
  [ "$(description)" = "$1" ]
}

focus_is() {
  [ "$(atspi focus)" = "$1" ]
}

# Presses Tab until the focus is on ROLE|NAME, as a user who listens after
# each press does; fails when a round of the window's controls never gets there.
tab_to() {
  local try
  for try in $(seq 16); do
    focus_is "$1" && return 0
    x xdotool key Tab
    sleep 0.2
  done
  focus_is "$1"
}

# Every focusable object has a name to be spoken.
no_unnamed_focusable() {
  local unnamed
  unnamed=$(atspi tree | awk -F'|' '$5 ~ /focusable/ && $3 == ""')
  [ -z "$unnamed" ] || { echo "$unnamed" | sed 's/^/     unnamed: /'; return 1; }
}

# Of the two options, CHOSEN is checked and OTHER not.
chosen() {
  local tree
  tree=$(atspi tree 'MP3 Orvane')
  grep -q "^2|radio button|$1||focusable,checked" <<<"$tree" &&
    grep -q "^2|radio button|$2||focusable,enabled" <<<"$tree"
}

# The stand-in browser has been asked COUNT times.
pages_opened() {
  [ "$(cat "$work/opened" 2>/dev/null | wc -l)" -eq "$1" ]
}

expect_tree() {
  local window=$1 expected=$2 seen
  seen=$(roles_and_names "$window")
  [ "$seen" = "$expected" ] || { diff <(echo "$expected") <(echo "$seen") | sed 's/^/     /'; return 1; }
}

# A popup menu is no window of the program's on the bus: a screen reader
# learns of it when one of its items takes the focus, and reads it from that
# item. menu_read FILE KEY...: presses the keys, and writes the menu whose
# item then takes the focus into FILE as roles_and_names does.
menu_read() {
  local file=$1 pid
  shift
  rm -f "$work/listening"
  timeout 15 "$atspi_python" "$here/a11y_tree.py" menu "$work/listening" >"$file.states" 2>>"$work/atspi.log" &
  pid=$!
  wait_for 5 test -e "$work/listening"
  x xdotool key "$@"
  wait "$pid"
  cut -d'|' -f1-3 "$file.states" >"$file"
}

# The menu's items, the tray's and the window's alike, with the Sleep
# submenu's.
menu_items="0|popup menu|MP3 Orvane
1|menu item|Play
1|menu item|Pause
1|menu item|Skip
1|menu item|Stop
1|separator|
1|menu item|Shuffle Folders
1|menu item|Even Loudness
1|separator|
1|menu item|Sleep
2|popup menu|
3|menu item|15 minutes
3|menu item|30 minutes
3|menu item|45 minutes
3|menu item|60 minutes
3|menu item|90 minutes
3|menu item|End of this file
3|menu item|End of this folder
3|menu item|Off
1|separator|
1|menu item|Settings
1|separator|
1|menu item|About
1|separator|
1|menu item|Exit"
same_menu() {
  [ "$(cat "$1")" = "$menu_items" ] || { diff <(echo "$menu_items") "$1" | sed 's/^/     /'; return 1; }
}
# ITEM's states in the menu read into FILE include STATE.
item_state() {
  awk -F'|' -v item="$2" -v state="$3" '$3 == item && ("," $5 ",") ~ ("," state ",") { found = 1 } END { exit !found }' "$1.states"
}

item_lacks() {
  ! item_state "$@"
}

# --- the program's world ----------------------------------------------------------------

start_desktop
mkdir -p "$work/music" "$work/bin"
title="Morning Tone"
tone_mp3 40 "$work/music/01 first.mp3" --tt "$title" 2>"$work/lame.log" || abort "the tagged track is made"
tone_mp3 40 "$work/music/02 second.mp3" 2>>"$work/lame.log" || abort "the second track is made"
conf=$work/config/Orvane.conf
printf '[General]\nVersion=3.0.0\nPlayPath=%s\nPlayOrder=2\n' "$work/music" >"$conf"

# Qt opens web pages through xdg-open; this one only writes down the address.
cat >"$work/bin/xdg-open" <<SH
#!/bin/sh
printf '%s\n' "\$*" >>"$work/opened"
SH
chmod +x "$work/bin/xdg-open"

env PATH="$work/bin:$PATH" HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$bin" >>"$work/app.log" 2>&1 &
app_pid=$!

wait_for 15 main_window >/dev/null || abort "main window appears"
main=$(main_window)
wait_for 15 atspi tree 'MP3 Orvane' >/dev/null || abort "the main window is on the accessibility bus"
atspi tree >"$shots/a11y-main-tree.txt"

# --- the main window ------------------------------------------------------------------------

check "every control of the main window has its role and name, in reading order" expect_tree 'MP3 Orvane' \
"0|frame|MP3 Orvane
1|label|Play Path
1|text|Play Path
1|push button|Browse
1|label|File Play Order
1|panel|File Play Order
2|radio button|Date
2|radio button|Name
1|check box|Repeat All
1|check box|Subdirectories
1|push button|Stop
1|push button|Skip
1|push button|Pause
1|push button|Play"
check "the play path box is labelled by its heading" \
  bash -c "grep -q '|text|Play Path|.*labelled-by:Play Path' '$shots/a11y-main-tree.txt' \
    && grep -q '|label|Play Path|.*label-for:Play Path' '$shots/a11y-main-tree.txt'"
check "the stored play order shows as the checked radio button" \
  grep -q '^2|radio button|Name||focusable,checked' "$shots/a11y-main-tree.txt"
check "no focusable object of the main window is unnamed" no_unnamed_focusable
check "stopped, the main window describes nothing" description_is ""
check "the window opens with the focus on the play path box" wait_for 3 focus_is 'text|Play Path'

# A screen reader's own command chooses an option as a click does.
atspi press 'MP3 Orvane' Date
check "a screen reader's press on Date chooses it, and Name is no longer chosen" wait_for 3 chosen Date Name
check "the choice is stored at once" wait_for 3 grep -qx 'PlayOrder=1' "$conf"

# --- playing and pausing, by keyboard ------------------------------------------------------

check "Tab reaches Play" tab_to 'push button|Play'
x xdotool key space
check "playing, the description names the title heard" wait_for 10 description_is "Playing: $title"
check "Tab reaches Pause" tab_to 'push button|Pause'
x xdotool key space
check "paused, the description says so" wait_for 5 description_is "Paused: $title"
check "Tab reaches Play again" tab_to 'push button|Play'
x xdotool key space
check "playing again, the description says so" wait_for 5 description_is "Playing: $title"
check "Tab reaches Skip" tab_to 'push button|Skip'
x xdotool key space
check "after Skip, the description names the untagged file by its name" \
  wait_for 10 description_is "Playing: 02 second.mp3"

# --- the window's context menu, by the keyboard ------------------------------------------

x xdotool windowfocus --sync "$main"
menu_read "$work/context-menu.txt" shift+F10 Down
check "Shift+F10 opens the window's menu, whose items a screen reader reads by name" same_menu "$work/context-menu.txt"
check "  Shuffle Folders is grey without Subdirectories" item_lacks "$work/context-menu.txt" 'Shuffle Folders' enabled
check "  Even Loudness is not checked" item_lacks "$work/context-menu.txt" 'Even Loudness' checked
check "  the Sleep submenu tells its choice, Off" item_state "$work/context-menu.txt" Off checked
# Even Loudness by its letter; then S&leep by its letter opens the submenu
# on its first item, and the next is 30 minutes.
x xdotool key e
wait_for 3 menu_closed || not_ok "Even Loudness chosen closes the menu"
x xdotool key shift+F10
wait_for 3 menu_open || not_ok "Shift+F10 opens the menu again"
x xdotool key l Down Return
check "  its Sleep, 30 minutes, chosen by the keyboard, is told in the description" \
  wait_for 5 description_is "Playing: 02 second.mp3; Sleep in 30 min"

# --- in the tray ------------------------------------------------------------------------------

x xdotool windowminimize "$main"
check "minimise puts the window in the tray" wait_for 5 in_tray
check "in the tray the main window keeps its name" \
  bash -c "! '$atspi_python' '$here/a11y_tree.py' tree | grep -q '^0|frame||'"

open_tray_menu || abort "the tray menu opens"
menu_read "$work/tray-menu.txt" Down
check "the tray menu's items are read by name, as the window's" same_menu "$work/tray-menu.txt"
check "  its Sleep tells the choice made in the window's menu" item_state "$work/tray-menu.txt" "30 minutes" checked
check "  and its Even Loudness is checked, as chosen there" item_state "$work/tray-menu.txt" "Even Loudness" checked
x xdotool key Escape
wait_for 3 menu_closed || not_ok "Escape closes the tray menu"

# --- About ---------------------------------------------------------------------------------------

open_tray_menu || abort "the tray menu opens"
x xdotool key Up
x xdotool key Up
x xdotool key Return
wait_for 5 about_open || abort "About opens from the tray"
about=$(about_window)
wait_for 10 atspi tree 'About MP3 Orvane' >/dev/null || abort "the About window is on the accessibility bus"
atspi tree 'About MP3 Orvane' >"$shots/a11y-about-tree.txt"
check "the About window's logo, link and button are named" bash -c "
  grep -q '|image|Orvane|' '$shots/a11y-about-tree.txt' &&
  grep -q '|link|WebSite||focusable' '$shots/a11y-about-tree.txt' &&
  grep -q '|push button|Exit|' '$shots/a11y-about-tree.txt'"
check "no focusable object of any window is unnamed" no_unnamed_focusable
x xdotool windowactivate --sync "$about" 2>/dev/null
check "About opens with the focus on Exit" wait_for 3 focus_is 'push button|Exit'
check "Tab reaches the link" tab_to 'link|WebSite'
shot about-link-focused
x xdotool key Return
check "Enter on the link asks the desktop to open the product page" wait_for 5 pages_opened 1
check "the page is the product's" grep -qx 'https://orvane.example.org/' "$work/opened"
x xdotool key space
check "Space on the link opens it too" wait_for 5 pages_opened 2
atspi press 'About MP3 Orvane' WebSite
check "a screen reader's press on the link opens it too" wait_for 5 pages_opened 3
check "About stays open after the link" about_open
x xdotool key Escape
check "Escape closes About" wait_for 5 about_gone
check "closing About leaves the program in the tray" in_tray

# --- Exit ----------------------------------------------------------------------------------------

open_tray_menu || abort "the tray menu opens for Exit"
x xdotool key x
check "Exit ends the program" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid"
  status=$?
  app_pid=
  check "the program ends with status 0" test "$status" -eq 0
fi

summary
