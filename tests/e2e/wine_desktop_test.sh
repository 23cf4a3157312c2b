#!/usr/bin/env bash
# The Windows program on a real X desktop under Wine: a virtual display
# (Xvfb), a window manager with a system tray (icewm) into which Wine docks
# the notification area's icons, and orvane.exe installed by its installer,
# started from its Start menu shortcut and driven with xdotool (the mouse
# and the media keys) the way a user drives it, given folders from outside
# (the installer's "Play with Orvane" verbs run as the shell runs them, a
# second start handing its folder to the running copy or asking it for its
# folder dialog, a folder dropped on the window through X11's drag and drop,
# two starts at once, the command line's help, version and a path that is
# not there), seeking in a long file on each media control by the keys and
# the tray menu (the file's tone tells where it plays), upgraded and
# uninstalled. The settings are put into the registry with "wine reg"
# beforehand and read back after Exit; what the player tells its media
# control is followed through the trace the program writes when
# ORVANE_TRACE names a file. Sound goes through Wine's PulseAudio driver into
# a private PulseAudio server (scripts/pulse_session.sh, a null sink), so the
# test needs no sound card; without PulseAudio, into ALSA's null device.
#
#   tests/e2e/wine_desktop_test.sh BUILD_FOLDER   (a built mingw folder)
#
# Screenshots go to BUILD_FOLDER/e2e-shots/ for people to look at.
set -uo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/wine_session.sh
source "$here/wine_session.sh"
wine_begin wine-desktop "$@"
rm -f "$shots"/win-*.png

# Wine's notification area docks each icon as a window of its own process.
tray_icon_class='"explorer.exe" "explorer.exe"'

wine_after() {
  stop "$app_pid"
  app_pid=
}

need_tools Xvfb icewm xdotool xwininfo xprop import convert compare lame perl "$wine" "$wineserver"
/usr/bin/python3 -c 'import Xlib' 2>/dev/null || abort "python3-xlib is installed (scripts/setup.sh installs it)"

start_wine_desktop

# --- the program's world -------------------------------------------------------

# Name order: case ignored, digits one by one ("10" before "2"), the play
# path first and then its folders in path order, each folder's files before
# the next folder's. The text file is not played.
music=$work/music
mkdir -p "$music/a-sub" "$music/B-sub"
expected=()
for name in 10.mp3 2.mp3 alpha.mp3 Beta.mp3 a-sub/x.mp3 B-sub/y.mp3; do
  tone_mp3 1 "$music/$name" 2>>"$work/lame.log" || abort "lame makes $name"
  expected+=("$(winpath "$music/$name")")
done
echo "not music" >"$music/notes.txt"

key='HKCU\Software\Orvane'
reg() {
  "$wine" reg "$@" 2>/dev/null | tr -d '\r'
}
reg delete "$key" /f >/dev/null
for value in "Version=3.0.0" "PlayOrder=2" "Sub=1" "Repeat=0" "PlayPath=$(winpath "$music")"; do
  reg add "$key" /v "${value%%=*}" /t REG_SZ /d "${value#*=}" /f >/dev/null
done
reg query "$key" | grep -q PlayPath || abort "the settings are in the registry before the start"

# --- installing ------------------------------------------------------------------

setup=$build/Orvane-3.0.0-setup.exe
[ -f "$setup" ] || abort "the build made the installer (makensis, from the Debian package nsis)"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane'
unix_path() {
  "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'
}
windows_folder() {
  "$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'
}
install_dir="$(windows_folder LOCALAPPDATA)\Programs\Orvane"
installed=$(unix_path "$install_dir")
shortcut=$(unix_path "$(windows_folder APPDATA)\Microsoft\Windows\Start Menu\Programs\Orvane.lnk")
[ -n "$installed" ] && [ -n "$shortcut" ] || abort "Wine names the per-user folders"
# What an earlier run may have left.
"$wine" reg delete "$uninstall_key" /f >/dev/null 2>&1
for verb in 'Directory\shell\Orvane.Play' 'SystemFileAssociations\.mp3\shell\Orvane.Play'; do
  "$wine" reg delete "HKCU\Software\Classes\$verb" /f >/dev/null 2>&1
done
# The keys above the verbs that are there before installing.
class_keys() {
  local k
  for k in 'Directory' 'Directory\shell' 'SystemFileAssociations' 'SystemFileAssociations\.mp3' \
    'SystemFileAssociations\.mp3\shell'; do
    "$wine" reg query "HKCU\Software\Classes\$k" >/dev/null 2>&1 && echo "$k"
  done
}
classes_before=$(class_keys)
rm -rf "$installed" "$shortcut"

# A value of a registry query's output.
value_of() {
  awk -v name="$1" '$1 == name && $2 ~ /^REG_/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
entry_is() {
  local entry got
  entry=$(reg query "$uninstall_key")
  got=$(value_of "$1" <<<"$entry")
  [ "$got" = "$2" ] || { echo "  $1: '$got', not '$2'"; return 1; }
}

check "the installer installs silently, without administrator rights" "$wine" "$setup" /S
check "it puts the program and its tray images into %LOCALAPPDATA%\\Programs\\Orvane" \
  cmp -s "$build/orvane.exe" "$installed/orvane.exe"
check "  with both tray images" test -f "$installed/Volume02.ico" -a -f "$installed/Volume03.ico"
check "it adds a Start menu shortcut" test -f "$shortcut"
check "the uninstall entry names the program" entry_is DisplayName Orvane
check "  its version" entry_is DisplayVersion 3.0.0
check "  its publisher" entry_is Publisher "The Orvane authors"
check "  its icon" entry_is DisplayIcon "$install_dir\orvane.exe,0"
check "  its folder" entry_is InstallLocation "$install_dir"
check "  its uninstaller" entry_is UninstallString "\"$install_dir\uninstall.exe\""
check "  the silent uninstall" entry_is QuietUninstallString "\"$install_dir\uninstall.exe\" /S"
check "  no modify, no repair" test "$(reg query "$uninstall_key" | value_of NoModify)$(reg query "$uninstall_key" | value_of NoRepair)" = 0x10x1
check "  its size in KB" test $(($(reg query "$uninstall_key" | value_of EstimatedSize))) -ge $(($(stat -c %s "$installed/orvane.exe") / 1024))

# The shortcut's target and working folder (a shell link's LinkInfo holds the
# target's local path; its working folder is one of the strings after it).
shortcut_field() {
  perl -MEncode -e '
    local $/;
    open my $f, "<:raw", $ARGV[0] or exit 1;
    my $d = <$f>;
    my $flags = unpack "V", substr($d, 0x14, 4);
    my $at = 0x4c;
    $at += 2 + unpack("v", substr($d, $at, 2)) if $flags & 0x1;
    my ($size, undef, undef, undef, $base) = unpack "V5", substr($d, $at, 20);
    my ($target) = unpack "Z*", substr($d, $at + $base);
    $at += $size;
    my %s;
    for my $bit (0x4, 0x8, 0x10, 0x20, 0x40) {
      next unless $flags & $bit;
      my $n = unpack "v", substr($d, $at, 2);
      ($s{$bit} = decode("UTF-16LE", substr($d, $at + 2, 2 * $n))) =~ s/\0+$//;
      $at += 2 + 2 * $n;
    }
    print $ARGV[1] eq "target" ? $target : $s{0x10};' "$shortcut" "$1"
}
target=$(shortcut_field target)
check "the shortcut starts the installed program" test "$target" = "$install_dir\orvane.exe"
check "  in its folder" test "$(shortcut_field folder)" = "$install_dir"

# Started as the shortcut starts it.
start_installed() {
  cd "$(unix_path "$(shortcut_field folder)")" || return 1
  ORVANE_TRACE=$(winpath "$trace") "$wine" "$target" >>"$work/app.log" 2>&1 &
  app_pid=$!
  cd - >/dev/null || return 1
}

trace=$work/trace.log
start_installed || abort "the program starts from the shortcut's target"

# --- start-up --------------------------------------------------------------------

# The startup window: the program's window without a title, the size of its
# twips layout (7380 x 4245 at 96 dpi, in its frame).
splash_window() {
  local w
  for w in $(x xdotool search --onlyvisible --classname 'orvane' 2>/dev/null); do
    [ -z "$(x xdotool getwindowname "$w" 2>/dev/null)" ] || continue
    local width height
    read -r _ _ width height <<<"$(window_geometry "$w")"
    if [ "${width:-0}" -ge 480 ] && [ "${height:-0}" -ge 270 ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}
splash_shown() {
  splash_window >/dev/null
}
splash_gone() {
  ! splash_shown
}

check "the startup window comes first" wait_for 30 splash_shown
shot win-splash
wait_for 10 main_window >/dev/null || abort "main window appears"
main=$(main_window)
check "the startup window is gone once the main window is up" wait_for 3 splash_gone
check "the main window's title is \"MP3 Orvane\"" test "$(x xdotool getwindowname "$main")" = "MP3 Orvane"
read -r _ _ main_w main_h <<<"$(window_geometry "$main")"
check "its client area is 7455 x 1305 twips at 96 dpi" test "${main_w}x${main_h}" = "497x87"
check "no tray icon while the window is on screen" no_tray_icon

# A click at the centre of a control of the main window's twips layout.
click_main() {
  x xdotool mousemove --window "$main" $((($1 + $3 / 2) * main_w / 7455)) $((($2 + $4 / 2) * main_h / 1305)) click 1
}

# --- Browse ----------------------------------------------------------------------

folder_dialog() {
  local w
  for w in $(windows_named 'Browse for Folder'); do
    is_viewable "$w" && echo "$w" && return 0
  done
  return 1
}
folder_dialog_open() {
  folder_dialog >/dev/null
}
folder_dialog_gone() {
  ! folder_dialog_open
}

# Esc, its Cancel. (Not a click: Wine may place a dialog's contents a few
# pixels off where the window manager has put its window.)
cancel_folder_dialog() {
  x xdotool windowfocus --sync "$(folder_dialog)" && x xdotool key Escape && wait_for 3 folder_dialog_gone
}

click_main 6600 120 735 375 # Browse
if check "Browse opens the shell's folder dialog" wait_for 10 folder_dialog_open; then
  sleep 0.5
  shot win-browse
  check "Cancel closes it (the play path stays, as Play shows next)" cancel_folder_dialog
fi
folder_dialog_gone || abort "the folder dialog is gone"

# --- Play ------------------------------------------------------------------------

trace_files() {
  sed -n 's/^FileName //p' "$trace" 2>/dev/null | tr -d '\r'
}
# The whole tree played: six files each to its own end, then the Stop at the
# end of the list (the completion's "Close", then Stop's own).
sequence_done() {
  [ "$(grep -c '^Done 1' "$trace" 2>/dev/null)" -ge ${#expected[@]} ] &&
    [ "$(tail -n 2 "$trace" | tr -d '\r' | tr '\n' ' ')" = "Close Close " ]
}

# Some of a second of the private server's sink, as bytes that are not silence.
sound_heard() {
  [ "$(timeout 0.5 parec --device="$PULSE_MONITOR" --raw --format=s16le --channels=1 2>/dev/null |
    tr -d '\0' | wc -c)" -gt 1000 ]
}

click_main 6360 720 975 495 # Play
sleep 0.4
shot win-main
if [ -n "${ORVANE_PRIVATE_PULSE:-}" ]; then
  check "the files sound in the private sound server" wait_for 5 sound_heard
fi
check "Play plays the whole tree to its end" wait_for 30 sequence_done
if ! check "the files play in name order, the play path first, then each folder in path order" \
  test "$(trace_files)" = "$(printf '%s\n' "${expected[@]}")"; then
  echo "--- played"
  trace_files
fi
check "each file played to its end (the media control reported success)" \
  test "$(grep -c '^Done 1' "$trace")" -eq ${#expected[@]}
check "nothing failed to play" bash -c "! grep -q '^Done [^1]' '$trace'"

# --- minimise to tray -------------------------------------------------------------

click_main 1920 720 1335 255 # Repeat All: the tree now plays on and on
sleep 0.3
click_main 6360 720 975 495 # Play
wait_for 10 bash -c "[ \$(grep -c '^Play' '$trace') -gt ${#expected[@]} ]" || not_ok "Play starts again"

# --- media keys ----------------------------------------------------------------------

# The keyboard's media keys as X gives them to the focused window; Wine makes
# them the media virtual keys, which the program holds as hot keys. They
# act as their tray twins, in the order pressed. The files are a second
# long and end by themselves all along: a Skip is a "Close" that no "Done"
# came before.
media_key() {
  x xdotool key --clearmodifiers "$1"
}
lines() {
  wc -l <"$trace"
}
pauses_after() {
  [ "$(tail -n +$(($1 + 1)) "$trace" | grep -c '^pause')" -eq "$2" ]
}
skipped_after() {
  tail -n +$(($1 + 1)) "$trace" | tr -d '\r' | awk '/^Close/ && prev !~ /^Done/ { found = 1 } { prev = $0 } END { exit !found }'
}
paused_between() { # no Close between the first two pauses after that line
  tail -n +$(($1 + 1)) "$trace" | tr -d '\r' | awk '/^pause/ { n++; next } n == 1 && /^Close/ { bad = 1 } END { exit bad || n < 2 }'
}

x xdotool windowfocus --sync "$main"
from=$(lines)
media_key XF86AudioPlay
check "Play/Pause pauses" wait_for 5 pauses_after "$from" 1
media_key XF86AudioNext # Skip cannot be chosen while paused
media_key XF86AudioPlay
check "Play/Pause again resumes" wait_for 5 pauses_after "$from" 2
check "Next does nothing while paused" paused_between "$from"
from=$(lines)
media_key XF86AudioNext
check "Next skips to the next file" wait_for 5 skipped_after "$from"

x xdotool windowminimize "$main"
check "minimise puts Wine's icon into the desktop's tray" wait_for 10 has_tray_icon
check "minimise hides the window" wait_for 5 is_hidden "$main"
check "the tray shows the not-paused image" wait_for 5 tray_hue_is green
tray_capture "$work/tray-playing.png"
app_alive || abort "the program keeps running in the tray"

tray_click 1
sleep 0.3
tray_double_click
sleep 0.5
check "left clicks and double clicks on the icon open nothing" menu_closed
check "the window stays hidden after left clicks" is_hidden "$main"

# --- the popup menu ---------------------------------------------------------------

# RCPopup's items by their row: &Play, P&ause, S&kip, S&top, -, Shuffle
# &Folders, &Even Loudness, -, &Back 10 s, F&orward 30 s, S&leep, -,
# &Settings, -, &About, -, E&xit; Wine draws an item 16 pixels high and a
# separator 9, inside a border of 2. A click that comes while Wine is still
# setting up the menu is lost, as for a person, who would simply click again.
menu_row_y() { # ROW: the middle of that row, from the menu's top
  local row=$1 y
  y=$((2 + row * 16 + 8))
  [ "$row" -ge 4 ] && y=$((y + 9))
  [ "$row" -ge 6 ] && y=$((y + 9))
  [ "$row" -ge 9 ] && y=$((y + 9))
  [ "$row" -ge 10 ] && y=$((y + 9))
  [ "$row" -ge 11 ] && y=$((y + 9))
  echo "$y"
}
menu_click() {
  local menu row=$1 mx my mw mh y try
  y=$(menu_row_y "$row")
  for try in 1 2 3; do
    menu=$(popup_menu) || return 0
    read -r mx my mw mh <<<"$(window_geometry "$menu")"
    sleep 0.2
    x xdotool mousemove $((mx + mw / 2)) $((my + y)) click 1
    wait_for 2 menu_closed && return 0
  done
  return 1
}
menu_pause=1 menu_stop=3 menu_shuffle=4 menu_loudness=5 menu_back=6 menu_forward=7 menu_settings=9 menu_about=10
menu_exit=11

open_tray_menu || abort "a right click on the icon opens the menu"
ok "a right click on the icon opens the menu"
shot win-tray-menu
if menu=$(popup_menu); then
  read -r mx my mw mh <<<"$(window_geometry "$menu")"
  check "the menu opens at the pointer, by the icon" test "$my" -gt 400
  x0=$((mx - 300 > 0 ? mx - 300 : 0))
  y0=$((my - 60 > 0 ? my - 60 : 0))
  convert "$shots/win-tray-menu.png" -crop "$((1024 - x0))x$((768 - y0))+$x0+$y0" +repage "$shots/win-tray-menu-crop.png"
fi
check "the window stays hidden while the menu is up" is_hidden "$main"

from=$(lines)
menu_click $menu_pause
check "the menu closes after a choice" wait_for 3 menu_closed
check "Pause from the menu pauses the media control" wait_for 5 pauses_after "$from" 1
check "Pause from the menu turns the tray image to the paused one" wait_for 5 tray_hue_is amber
tray_capture "$work/tray-paused.png"
check "the paused image differs from the playing one" \
  test "$(pixels_differing "$work/tray-playing.png" "$work/tray-paused.png")" -gt 20
check "the window stays hidden after a tray command" is_hidden "$main"

# --- Settings ----------------------------------------------------------------------

open_tray_menu || abort "the menu opens again"
menu_click $menu_settings
check "Settings brings the window back in its normal state" wait_for 5 is_shown_normal "$main"
check "Settings removes the tray icon" wait_for 5 no_tray_icon
shot win-restored

# The window's own context menu is the tray's: by a right click on Stop,
# then by Shift+F10. Its Shuffle Folders is stored beside the five at once.
shuffle_stored() {
  reg query "$key" /v ShuffleFolders | grep -q "REG_SZ *$1\$"
}
x xdotool mousemove --window "$main" $(((3480 + 487) * main_w / 7455)) $(((720 + 247) * main_h / 1305)) click 3
check "a right click on the window opens the tray's menu" wait_for 3 menu_open
shot win-context-menu
menu_click $menu_shuffle
check "its Shuffle Folders is stored beside the five" wait_for 5 shuffle_stored 1
x xdotool windowfocus --sync "$main"
x xdotool key shift+F10
check "Shift+F10 opens the menu" wait_for 3 menu_open
menu_click $menu_shuffle
check "Shuffle Folders chosen again is stored off" wait_for 5 shuffle_stored 0
loudness_stored() {
  reg query "$key" /v EvenLoudness | grep -q "REG_SZ *$1\$"
}
x xdotool windowfocus --sync "$main"
x xdotool key shift+F10
check "Shift+F10 opens the menu again" wait_for 3 menu_open
menu_click $menu_loudness
check "its Even Loudness is stored beside the five" wait_for 5 loudness_stored 1

x xdotool windowminimize "$main"
check "minimising again hides the window" wait_for 5 is_hidden "$main"
check "the new icon shows the state at that moment (paused)" wait_for 5 tray_hue_is amber

# --- About --------------------------------------------------------------------------

open_tray_menu || abort "the menu opens for About"
menu_click $menu_about
check "About from the tray opens the About window" wait_for 5 about_open
check "About leaves the main window in the tray" is_hidden "$main"
check "About leaves the tray icon" has_tray_icon
sleep 0.3
shot win-about
if about=$(about_window); then
  read -r ax ay aw ah <<<"$(window_geometry "$about")"
  convert "$shots/win-about.png" -crop "$((aw + 12))x$((ah + 40))+$((ax > 6 ? ax - 6 : 0))+$((ay > 30 ? ay - 30 : 0))" +repage \
    "$shots/win-about-crop.png"

  # The media keys reach the program in the tray, the About window focused;
  # the tray image follows Play/Pause and Stop. After Stop, Play/Pause starts
  # anew from the first file (a resume would have paused).
  x xdotool windowfocus --sync "$about"
  from=$(lines)
  media_key XF86AudioPlay
  check "in the tray, Play/Pause resumes" wait_for 5 pauses_after "$from" 1
  check "  and the tray image follows" wait_for 5 tray_hue_is green
  media_key XF86AudioPlay
  check "  Play/Pause pauses again, the tray image too" wait_for 5 tray_hue_is amber
  from=$(lines)
  media_key XF86AudioStop
  media_key XF86AudioPlay
  check "  Stop stops: Play/Pause then starts from the first file" \
    wait_for 5 bash -c "tail -n +$((from + 1)) '$trace' | tr -d '\r' | grep -qxF 'FileName ${expected[0]}'"
  check "  it did not resume" pauses_after "$from" 0
  check "  the tray shows the not-paused image" wait_for 5 tray_hue_is green
  # Its Exit button, by the window's twips layout.
  x xdotool mousemove --window "$about" $(((75 + 5640 + 607) * aw / 7380)) $(((75 + 3060 + 217) * ah / 4245)) click 1
  check "the About window's Exit closes it" wait_for 3 about_gone
  check "closing About leaves the program in the tray" in_tray
fi

# --- Exit ---------------------------------------------------------------------------

open_tray_menu || abort "the menu opens for Exit"
menu_click $menu_exit
check "Exit ends the program" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid"
  status=$?
  app_pid=
  check "the program ends with status 0" test "$status" -eq 0
fi
check "Exit removes the tray icon" wait_for 5 no_tray_icon
check "the media control was closed last" test "$(tail -n 1 "$trace" | tr -d '\r')" = "Close"

stored=$(reg query "$key")
stored_value() {
  awk -v name="$1" '$1 == name && $2 == "REG_SZ" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' <<<"$stored"
}
check "the registry holds the play path" test "$(stored_value PlayPath)" = "$(winpath "$music")"
check "and the other choices (Repeat All stored at its click)" \
  test "$(stored_value PlayOrder) $(stored_value Sub) $(stored_value Repeat) $(stored_value Version)" = "2 1 1 3.0.0"

# --- killed while it plays ---------------------------------------------------------

# Two files long enough to be killed inside; the play path points at them.
long=$work/long
mkdir -p "$long"
for name in a.mp3 b.mp3; do
  tone_mp3 12 "$long/$name" 2>>"$work/lame.log" || abort "lame makes long/$name"
done
reg add "$key" /v PlayPath /t REG_SZ /d "$(winpath "$long")" /f >/dev/null
reg add "$key" /v Sub /t REG_SZ /d 0 /f >/dev/null
from=$(wc -l <"$trace")
start_installed || abort "the program starts for the kill"
wait_for 15 main_window >/dev/null || abort "its main window is up"
main=$(main_window)
sleep 2
check "after Exit the start is quiet" bash -c "! tail -n +$((from + 1)) '$trace' | grep -q '^Play'"
click_main 6360 720 975 495 # Play
wait_for 10 bash -c "tail -n +$((from + 1)) '$trace' | tr -d '\r' | grep -qxF 'FileName $(winpath "$long/a.mp3")'" ||
  abort "Play plays the long file"
sleep 6
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=
end_wine
check "the place is in the registry after the kill" bash -c "'$wine' reg query '$key\Place' /v State 2>/dev/null | grep -q 'file=.*a\.mp3'"
from=$(wc -l <"$trace")
start_installed || abort "the program starts after the kill"
check "killed while it played, the next start plays on by itself" \
  wait_for 20 bash -c "tail -n +$((from + 1)) '$trace' | tr -d '\r' | grep -qxF 'FileName $(winpath "$long/a.mp3")'"
check "  from a little before where it was" bash -c "tail -n +$((from + 1)) '$trace' | tr -d '\r' | grep -qE '^StartAt ([2-9][0-9]{3})$'"
main=$(main_window)
shot win-resumed
click_main 3480 720 975 495 # Stop: the place is forgotten
check "Stop forgets the place" wait_for 5 bash -c "! '$wine' reg query '$key\Place' /v State 2>/dev/null | grep -q 'file='"
x xdotool windowactivate --sync "$main" key alt+F4
check "the program closes" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid" 2>/dev/null
  app_pid=
fi
reg add "$key" /v PlayPath /t REG_SZ /d "$(winpath "$music")" /f >/dev/null
reg add "$key" /v Sub /t REG_SZ /d 1 /f >/dev/null

# --- seeking in a long file, on each media control ----------------------------------

# One file that tells where it plays by its tone: 400 Hz for its first 30 s,
# 600 Hz to the 50th, 500 Hz to its end. What the player asked of its media
# control is in the trace; with the private sound server, what is heard
# shows that the control went there.
seeking=$work/seeking
mkdir -p "$seeking"
TONE_HZ="400 600@30 500@50" tone_mp3 90 "$seeking/a.mp3" 2>>"$work/lame.log" || abort "lame makes seeking/a.mp3"
reg add "$key" /v PlayPath /t REG_SZ /d "$(winpath "$seeking")" /f >/dev/null
reg add "$key" /v Sub /t REG_SZ /d 0 /f >/dev/null
[ -z "${ORVANE_PRIVATE_PULSE:-}" ] || start_recording
heard_since() { # HZ MARK: that tone is what plays since the mark (without the sound server: nothing to hear)
  [ -z "${ORVANE_PRIVATE_PULSE:-}" ] || last_tone_is "$@"
}
sought_since() { # LINE LOW HIGH: the last seek asked since that line lands between LOW and HIGH ms
  local ms
  ms=$(tail -n +$(($1 + 1)) "$trace" | tr -d '\r' | sed -n 's/^Seek //p' | tail -n 1)
  [ -n "$ms" ] && [ "$ms" -ge "$2" ] && [ "$ms" -le "$3" ]
}
no_seek_since() {
  ! tail -n +$(($1 + 1)) "$trace" | grep -q '^Seek'
}
mark_now() {
  if [ -n "${ORVANE_PRIVATE_PULSE:-}" ]; then mark; else echo 0; fi
}
# Ctrl+Right, then Ctrl+Left, in the main window a second into the file.
seek_by_keys() {
  local from m
  from=$(lines)
  m=$(mark_now)
  click_main 6360 720 975 495 # Play
  check "$1: Play plays the long file from its start" wait_for 10 heard_since 400 "$m"
  sleep 1
  from=$(lines)
  m=$(mark_now)
  x xdotool windowfocus --sync "$main" key ctrl+Right
  check "  Ctrl+Right goes forward 30 s" wait_for 5 sought_since "$from" 30000 36000
  check "  and there it is heard" wait_for 5 heard_since 600 "$m"
  from=$(lines)
  m=$(mark_now)
  x xdotool windowfocus --sync "$main" key ctrl+Left
  check "  Ctrl+Left goes back 10 s" wait_for 5 sought_since "$from" 20000 27000
  check "  and there it is heard" wait_for 5 heard_since 400 "$m"
}

start_installed || abort "the program starts for the seek"
wait_for 15 main_window >/dev/null || abort "its main window is up"
main=$(main_window)
seek_by_keys "Media Foundation and WASAPI"
x xdotool windowminimize "$main"
wait_for 10 has_tray_icon || not_ok "the program is in the tray for its menu's seek"
from=$(lines)
m=$(mark_now)
open_tray_menu && menu_click $menu_forward
check "  the tray menu's Forward 30 s goes forward 30 s" wait_for 5 sought_since "$from" 50000 66000
check "  and there it is heard" wait_for 5 heard_since 500 "$m"
from=$(lines)
m=$(mark_now)
open_tray_menu && menu_click $menu_back
check "  its Back 10 s goes back 10 s" wait_for 5 sought_since "$from" 40000 56000
check "  and there it is heard, and plays on" wait_for 5 heard_since 600 "$m"
open_tray_menu && menu_click $menu_stop
wait_for 5 bash -c "tail -n 1 '$trace' | grep -q '^Close'" || not_ok "Stop from the menu stops"
from=$(lines)
open_tray_menu || not_ok "the menu opens while stopped"
if menu=$(popup_menu); then
  read -r mx my mw mh <<<"$(window_geometry "$menu")"
  x xdotool mousemove $((mx + mw / 2)) $((my + $(menu_row_y $menu_forward))) click 1
  sleep 1
  check "  stopped, Forward 30 s is grey: its click leaves the menu open" menu_open
  check "  and asks no seek" no_seek_since "$from"
  # Keys do not reach the tray's menu under Wine (its window is hidden): a
  # click beside the menu closes it. On a loaded machine Wine's menu loop now
  # and then misses a click that comes right after the last; a second one,
  # as a user would give, closes it.
  click_beside() { x xdotool mousemove 10 10 click 1 && wait_for 3 menu_closed; }
  click_beside || click_beside || not_ok "a click beside the menu closes it"
fi
open_tray_menu && menu_click $menu_settings
wait_for 5 is_shown_normal "$main" || not_ok "Settings brings the window back"
x xdotool windowactivate --sync "$main" key alt+F4
check "the program closes" wait_for 10 app_ended
app_pid=

ORVANE_MEDIA=mci start_installed || abort "the program starts on MCI"
wait_for 15 main_window >/dev/null || abort "its main window is up"
main=$(main_window)
seek_by_keys "MCI"
click_main 3480 720 975 495 # Stop
x xdotool windowactivate --sync "$main" key alt+F4
check "the program closes" wait_for 10 app_ended
app_pid=
reg add "$key" /v PlayPath /t REG_SZ /d "$(winpath "$music")" /f >/dev/null
reg add "$key" /v Sub /t REG_SZ /d 1 /f >/dev/null

# --- a folder from anywhere: the shell's verbs, a second start, the command line ----

folder_verb='HKCU\Software\Classes\Directory\shell\Orvane.Play'
mp3_verb='HKCU\Software\Classes\SystemFileAssociations\.mp3\shell\Orvane.Play'
default_of() {
  reg query "$1" /ve 2>/dev/null | awk '$2 ~ /^REG_/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
for verb in "$folder_verb" "$mp3_verb"; do
  check "the installer adds \"Play with Orvane\" under ${verb#HKCU\\Software\\Classes\\}" \
    test "$(default_of "$verb")" = "Play with Orvane"
  check "  which starts the installed program with the item" \
    test "$(default_of "$verb\\command")" = "\"$install_dir\\orvane.exe\" \"%1\""
done
check "  and takes no default association of MP3 files" bash -c "! '$wine' reg query 'HKCU\\Software\\Classes\\.mp3' >/dev/null 2>&1"

# A verb's command run as the shell runs it: its "%1" the item's path.
verb_started=
run_verb() {
  local command exe
  command=$(default_of "$1\\command")
  exe=${command#\"}
  exe=${exe%%\"*}
  [ "$command" = "\"$exe\" \"%1\"" ] || return 1
  ORVANE_TRACE=$(winpath "$trace") "$wine" "$exe" "$2" >>"$work/verb.log" 2>&1 &
  verb_started=$!
}
main_windows() {
  local w n=0
  for w in $(windows_named 'MP3 Orvane'); do
    is_viewable "$w" && window_type "$w" | grep -q _NET_WM_WINDOW_TYPE_NORMAL && n=$((n + 1))
  done
  echo "$n"
}
played_since() { # LINE FILE: the trace has opened that file since that line
  tail -n +$(($1 + 1)) "$trace" | tr -d '\r' | grep -qxF "FileName $(winpath "$2")"
}
silent() {
  ! sound_heard
}

album=$work/album
other=$work/other
mkdir -p "$album" "$other"
for name in "$album/a.mp3" "$other/1.mp3" "$other/2.mp3"; do
  tone_mp3 8 "$name" 2>>"$work/lame.log" || abort "lame makes $name"
done

from=$(wc -l <"$trace")
run_verb "$folder_verb" "$(winpath "$album")" || not_ok "the folder verb's command is the program and its item"
app_pid=$verb_started
check "the folder verb starts the program on that folder" wait_for 20 played_since "$from" "$album/a.mp3"
wait_for 10 main_window >/dev/null || abort "its main window is up"
main=$(main_window)
click_main 3480 720 975 495 # Stop
if [ -n "${ORVANE_PRIVATE_PULSE:-}" ]; then
  wait_for 5 silent || not_ok "Stop silences it"
fi
from=$(wc -l <"$trace")
started=$(now_ms)
run_verb "$mp3_verb" "$(winpath "$other/2.mp3")" || not_ok "the MP3 verb's command is the program and its item"
second=$verb_started
status=running
if wait_for 10 bash -c "! kill -0 $second 2>/dev/null"; then
  took=$(($(now_ms) - started))
  wait "$second"
  status=$?
  echo "     (the second start ended after $took ms under Wine)"
fi
check "the MP3 verb, with the program running, hands the file over and ends with status 0" test "$status" = 0
[ "$status" = running ] && kill "$second"
check "  the running copy plays that file's folder from that file" wait_for 10 played_since "$from" "$other/2.mp3"
check "  and not its first file" bash -c "! tail -n +$((from + 1)) '$trace' | tr -d '\r' | grep -qxF 'FileName $(winpath "$other/1.mp3")'"
if [ -n "${ORVANE_PRIVATE_PULSE:-}" ]; then
  check "  heard in the private sound server" wait_for 5 sound_heard
fi
check "  in the one window there is" test "$(main_windows)" -eq 1
# A folder dragged from a file manager onto the window: X11's drag and drop
# (XDND), which Wine hands to a window that takes files as WM_DROPFILES.
dropped=$work/dropped
mkdir -p "$dropped"
TONE_HZ=800 tone_mp3 8 "$dropped/x.mp3" 2>>"$work/lame.log" || abort "lame makes dropped/x.mp3"
echo "not music" >"$work/dropped.txt"
drop_on_main() {
  x xdotool mousemove --window "$main" 200 40
  timeout 20 /usr/bin/python3 "$here/xdnd_drop.py" "$main" 200 40 "$@" >>"$work/drop.log" 2>&1
}
from=$(wc -l <"$trace")
m=$(mark_now)
check "a folder dropped on the window through XDND is taken" drop_on_main "$dropped"
check "  and plays" wait_for 10 played_since "$from" "$dropped/x.mp3"
check "  and is heard" wait_for 5 heard_since 800 "$m"
from=$(wc -l <"$trace")
drop_on_main "$work/dropped.txt"
sleep 1
check "a text file dropped plays nothing" bash -c "! tail -n +$((from + 1)) '$trace' | grep -q '^FileName'"
check "  and the folder plays on" heard_since 800 "$m"
"$wine" "$installed/orvane.exe" --choose-folder >>"$work/verb.log" 2>&1
check "orvane.exe --choose-folder with the program running ends with status 0" test $? -eq 0
if check "  and the running copy shows its folder dialog" wait_for 10 folder_dialog_open; then
  check "  whose Cancel changes nothing" cancel_folder_dialog
fi
x xdotool windowactivate --sync "$main" key alt+F4
check "the program closes" wait_for 10 app_ended
app_pid=

# Two starts at the same moment, none running: one is the first copy, the
# other hands its folder over to it, and that folder is what plays last.
from=$(wc -l <"$trace")
run_verb "$folder_verb" "$(winpath "$album")"
app_pid=$verb_started
run_verb "$folder_verb" "$(winpath "$other")"
twin=$verb_started
one_ended() {
  ! kill -0 "$app_pid" 2>/dev/null || ! kill -0 "$twin" 2>/dev/null
}
check "two starts at the same moment: one of them ends" wait_for 20 one_ended
handed=$other
if ! kill -0 "$app_pid" 2>/dev/null; then
  # The first was the later one.
  handed=$album
  app_pid=$twin
fi
check "  one window" wait_for 10 test "$(main_windows)" -eq 1
last_played() {
  tail -n +$(($1 + 1)) "$trace" | tr -d '\r' | sed -n 's/^FileName //p' | tail -n 1
}
handed_plays() {
  case $(last_played "$from") in "$(winpath "$handed")"\\*) return 0 ;; esac
  return 1
}
check "  which plays the folder the other handed over" wait_for 10 handed_plays
main=$(main_window)
x xdotool windowactivate --sync "$main" key alt+F4
check "  and closes" wait_for 10 app_ended
app_pid=

# The command line's own words.
help=$("$wine" "$installed/orvane.exe" --help 2>/dev/null | tr -d '\r')
check "orvane.exe --help prints its usage" grep -q '^Usage: orvane.exe \[FOLDER|FILE\]' <<<"$help"
check "orvane.exe --version prints the version" test "$("$wine" "$installed/orvane.exe" --version 2>/dev/null | tr -d '\r')" = "Orvane 3.0.0"
stored=$(reg query "$key")
"$wine" "$installed/orvane.exe" 'Z:\no\such\album' >"$work/bad.out" 2>"$work/bad.err" &
app_pid=$!
check "a path that is not there: the words of the path error on stderr" \
  wait_for 20 grep -q 'The Path you have entered is invalid!' "$work/bad.err"
path_error() {
  shown_window_named 'Path Error' >/dev/null
}
no_path_error() {
  ! path_error
}
check "  and the path error box" wait_for 20 path_error
shot win-bad-path
if box=$(shown_window_named 'Path Error'); then
  x xdotool windowfocus --sync "$box" key Return
fi
wait_for 5 no_path_error
wait_for 10 main_window >/dev/null && main=$(main_window)
x xdotool windowactivate --sync "$main" key alt+F4
check "  the program closes" wait_for 10 app_ended
app_pid=
check "  nothing stored has changed" test "$(reg query "$key")" = "$stored"
reg add "$key" /v PlayPath /t REG_SZ /d "$(winpath "$music")" /f >/dev/null

# --- upgrading over a running copy, uninstalling -------------------------------------

# An older version in place: its version in the entry, a tray image of its own.
reg add "$uninstall_key" /v DisplayVersion /t REG_SZ /d 2.9.0 /f >/dev/null
write_icon "$installed/Volume02.ico" red
start_installed || abort "the program starts again"
wait_for 15 main_window >/dev/null || abort "its main window is up"
check "setup over a running copy asks it to close, then upgrades it" "$wine" "$setup" /S
check "  the running copy has closed" wait_for 10 app_ended
if app_ended; then
  wait "$app_pid"
  status=$?
  app_pid=
  check "  with status 0" test "$status" -eq 0
fi
check "  the older files are replaced in place" cmp -s "$build/Volume02.ico" "$installed/Volume02.ico"
check "  the entry names the new version" entry_is DisplayVersion 3.0.0

# The uninstaller goes on in a copy of itself; the folder is its last step.
"$wine" "$install_dir\uninstall.exe" /S
check "the silent uninstall removes the program's folder" wait_for 30 test ! -e "$installed"
check "  the shortcut" test ! -e "$shortcut"
check "  and the uninstall entry" bash -c "! '$wine' reg query '$uninstall_key' >/dev/null 2>&1"
check "  and both verbs" bash -c "! '$wine' reg query '$folder_verb' >/dev/null 2>&1 && ! '$wine' reg query '$mp3_verb' >/dev/null 2>&1"
check "  and the keys made for them, those there before staying" test "$(class_keys)" = "$classes_before"
check "  and leaves the settings" test "$(reg query "$key" | value_of PlayPath)" = "$(winpath "$music")"

summary
