#!/usr/bin/env bash
# The tray and the About window on a real X desktop: a virtual display (Xvfb),
# a window manager with a system tray (icewm), and the program driven with
# xdotool the way a user drives it. Runs headless, without a sound card (the
# player falls back to silent output), and cleans up after itself.
#
#   tests/e2e/run.sh path/to/orvane
#
# Screenshots go to build/e2e-shots/ for people to look at.
set -uo pipefail
export LC_ALL=C

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
  echo "usage: $0 BINARY" >&2
  exit 2
fi
bin=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
shots=$root/build/e2e-shots

for tool in Xvfb icewm xdotool xwininfo xprop import convert compare lame perl; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e: $tool is not installed (scripts/setup.sh installs it)" >&2
    echo "e2e: 0 passed, 1 failed"
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-e2e.XXXXXX")
mkdir -p "$shots"
rm -f "$shots"/*.png

trap 'stop_desktop; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/desktop.sh
source "$here/desktop.sh"

# --- the desktop -------------------------------------------------------------

start_desktop
mkdir -p "$work/music"

# --- the program's world -------------------------------------------------------

# Long enough that the first track still plays when Pause is chosen from the
# tray; a file that short of its length would end the sequence before that.
track_seconds=40
for n in 1 2 3; do
  tone_mp3 "$track_seconds" "$work/music/track$n.mp3" 2>"$work/lame.log"
  size=$(stat -c %s "$work/music/track$n.mp3" 2>/dev/null || echo 0)
  [ "$size" -ge $((track_seconds * 32000 / 8 * 9 / 10)) ] ||
    abort "track$n.mp3 holds $track_seconds s of tone ($size bytes)"
done
conf=$work/config/Orvane.conf
printf '[General]\nVersion=3.0.0\nPlayPath=%s\n' "$work/music" >"$conf"

start_app() {
  env -u DBUS_SESSION_BUS_ADDRESS HOME="$home" XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$bin" >>"$work/app.log" 2>&1 &
  app_pid=$!
}
start_app

splash_gone() {
  local w
  for w in $(windows_named 'MP3 Orvane'); do
    if is_viewable "$w" && window_type "$w" | grep -q _NET_WM_WINDOW_TYPE_SPLASH; then
      return 1
    fi
  done
  return 0
}

# --- start-up --------------------------------------------------------------------

wait_for 15 main_window >/dev/null || abort "main window appears"
main=$(main_window)
check "main window appears with the title \"MP3 Orvane\"" \
  test "$(x xdotool getwindowname "$main")" = "MP3 Orvane"
check "startup window is gone once the main window is up" wait_for 3 splash_gone
check "no tray icon while the window is on screen" no_tray_icon
shot main

# Play, by the button's place in the window's twips layout.
read -r _ _ main_w main_h <<<"$(window_geometry "$main")"
x xdotool mousemove --window "$main" $(((6360 + 487) * main_w / 7455)) $(((720 + 247) * main_h / 1305)) click 1
sleep 0.5

# --- minimise to tray -------------------------------------------------------------

x xdotool windowminimize "$main"
check "minimise puts an icon in the tray" wait_for 5 has_tray_icon
check "minimise hides the window" wait_for 5 is_hidden "$main"
check "the tray shows the not-paused image" wait_for 3 tray_hue_is green
tray_capture "$work/tray-playing.png" && cp "$work/tray-playing.png" "$shots/"
app_alive || abort "the program keeps running in the tray"

tray_click 1
sleep 0.3
tray_double_click
sleep 0.5
check "left clicks and double clicks on the icon open nothing" menu_closed
check "the window stays hidden after left clicks" is_hidden "$main"

# --- the popup menu --------------------------------------------------------------

tray_click 3
check "a right click on the icon opens the menu" wait_for 3 menu_open
shot tray-menu
if menu=$(popup_menu); then
  read -r mx my mw mh <<<"$(window_geometry "$menu")"
  read -r ix iy iw ih <<<"$(tray_icon)"
  left=$((mx < ix ? mx : ix))
  right=$((mx + mw > ix + iw ? mx + mw : ix + iw))
  x0=$((left - 160 > 0 ? left - 160 : 0))
  y0=$((my - 48 > 0 ? my - 48 : 0))
  x1=$((right + 24 < 1024 ? right + 24 : 1024))
  convert "$shots/tray-menu.png" -crop "$((x1 - x0))x$((768 - y0))+$x0+$y0" +repage "$shots/tray-menu-crop.png"
fi
check "the window stays hidden while the menu is up" is_hidden "$main"

# Pause: the first item whose mnemonic is "a" ("P&ause", then "&About").
x xdotool key a
sleep 0.2
x xdotool key Return
check "the menu closes after a choice" wait_for 3 menu_closed
check "Pause from the menu turns the tray image to the paused one" wait_for 5 tray_hue_is amber
tray_capture "$work/tray-paused.png" && cp "$work/tray-paused.png" "$shots/"
check "the paused image differs from the playing one" \
  test "$(pixels_differing "$work/tray-playing.png" "$work/tray-paused.png")" -gt 100
check "the window stays hidden after a tray command" is_hidden "$main"

# --- Settings ----------------------------------------------------------------------

open_tray_menu || abort "the menu opens again"
x xdotool key s
check "Settings brings the window back in its normal state" wait_for 5 is_shown_normal "$main"
check "Settings removes the tray icon" wait_for 3 no_tray_icon
shot restored

x xdotool windowminimize "$main"
check "minimising again hides the window" wait_for 5 is_hidden "$main"
check "the new icon shows the state at that moment (paused)" wait_for 5 tray_hue_is amber

# --- About --------------------------------------------------------------------------

open_tray_menu || abort "the menu opens for About"
# From the bottom: Exit, then About.
x xdotool key Up
x xdotool key Up
x xdotool key Return
check "About from the tray opens the About window" wait_for 5 about_open
check "About leaves the main window in the tray" is_hidden "$main"
check "About leaves the tray icon" has_tray_icon
shot about
if about=$(about_window); then
  read -r ax ay aw ah <<<"$(window_geometry "$about")"
  convert "$shots/about.png" -crop "$((aw + 12))x$((ah + 40))+$((ax > 6 ? ax - 6 : 0))+$((ay > 30 ? ay - 30 : 0))" +repage \
    "$shots/about-crop.png"
  # Its Exit button, by the window's twips layout.
  x xdotool mousemove --window "$about" $(((75 + 5640 + 607) * aw / 7380)) $(((75 + 3060 + 217) * ah / 4245)) click 1
  check "the About window's Exit closes it" wait_for 3 about_gone
  check "closing About leaves the program in the tray" in_tray
fi

# --- Exit ---------------------------------------------------------------------------

# The prepared file holds no play options; only the unload writes them.
check "nothing is stored before Exit" bash -c "! grep -q '^PlayOrder=' '$conf'"
open_tray_menu || abort "the menu opens for Exit"
x xdotool key x
check "Exit ends the program" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid"
  status=$?
  app_pid=
  if ! check "the program ends with status 0" test "$status" -eq 0; then
    echo "--- program output (status $status)"
    tail -n 40 "$work/app.log"
  fi
fi
check "Exit removes the tray icon" wait_for 3 no_tray_icon
check "Exit stores the settings" grep -qx 'PlayOrder=2' "$conf"
check "all four choices are stored" bash -c "grep -qx 'Sub=0' '$conf' && grep -qx 'Repeat=0' '$conf' \
  && grep -qx 'PlayPath=$work/music' '$conf'"

# --- ended from outside -------------------------------------------------------------

# A path typed during the run is stored also when the program is told to end
# (kill, a logout) rather than closed.
start_app
wait_for 15 main_window >/dev/null || abort "main window appears again"
main=$(main_window)
read -r _ _ main_w main_h <<<"$(window_geometry "$main")"
typed="$work/typed then killed"
x xdotool mousemove --window "$main" $(((120 + 3000) * main_w / 7455)) $(((240 + 142) * main_h / 1305)) click 1
x xdotool key ctrl+a
x xdotool type --delay 10 "$typed"
# The program takes its X events in order: once the minimise has put the icon
# in the tray, the keys before it have reached the play path box.
x xdotool windowminimize "$main"
check "the program with the typed path goes to the tray" wait_for 5 has_tray_icon
kill -TERM "$app_pid"
check "kill -TERM ends the program" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid"
  status=$?
  app_pid=
  check "the program ends with status 0 after kill -TERM" test "$status" -eq 0
fi
check "kill -TERM stores the typed path" grep -qxF "PlayPath=$typed" "$conf"

# --- the window and tray storm ---------------------------------------------------

# The soak of the window tests, now on a desktop that has a tray: minimising
# really hides the window behind the icon, and the tray menu drives the player.
gui_tests=$(dirname "$bin")/tests/orvane_gui_tests
if [ -x "$gui_tests" ]; then
  env -u DBUS_SESSION_BUS_ADDRESS HOME="$home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    ORVANE_SOAK_SECONDS="${ORVANE_SOAK_SECONDS:-20}" \
    "$gui_tests" --gtest_filter='DesktopSoak.*' >"$work/soak.log" 2>&1
  soak_status=$?
  if ! check "the window and tray storm keeps every rule" test "$soak_status" -eq 0; then
    grep -E 'Failure|Expected|Which|error' "$work/soak.log" | head -n 20
  fi
  check "the storm ran with a real tray" grep -q 'tray real' "$work/soak.log"
  grep '^desktop soak:' "$work/soak.log"
fi

summary
