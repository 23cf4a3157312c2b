# Helpers for the desktop tests: checks and their tally, bounded waits, and
# looking at X windows and screenshots. Sourced by the desktop tests; expects
# DISPLAY, work (a temporary folder) and shots (the screenshot folder) to be
# set.

passed=0
failed=0

ok() {
  passed=$((passed + 1))
  echo "ok   - $1"
}

not_ok() {
  failed=$((failed + 1))
  echo "FAIL - $1"
}

# check NAME COMMAND...: one check, passed when the command succeeds.
check() {
  local name=$1
  shift
  if "$@"; then
    ok "$name"
  else
    not_ok "$name"
    return 1
  fi
}

now_ms() {
  local t=${EPOCHREALTIME/[.,]/}
  echo $((t / 1000))
}

# wait_for SECONDS COMMAND...: polls the command every tenth of a second until
# it succeeds or the time is up.
wait_for() {
  local deadline
  deadline=$(($(now_ms) + $(awk -v s="$1" 'BEGIN { print int(s * 1000) }')))
  shift
  while true; do
    "$@" && return 0
    [ "$(now_ms)" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# Runs a command with a time limit, so that no X client can hang the run.
x() {
  timeout 5 "$@"
}

shot() {
  x import -window root "$shots/$1.png" 2>/dev/null
}

# --- windows ---------------------------------------------------------------

# Windows of the program by exact title, visible or not.
windows_named() {
  x xdotool search --name "^$1\$" 2>/dev/null
}

window_type() {
  x xprop -id "$1" _NET_WM_WINDOW_TYPE 2>/dev/null
}

is_viewable() {
  x xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# ICCCM state of a top-level: Normal, Iconic, or Withdrawn when the window
# manager has let go of it.
wm_state() {
  local state
  state=$(x xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/.*window state: *//p')
  echo "${state:-Withdrawn}"
}

is_hidden() {
  ! is_viewable "$1" && [ "$(wm_state "$1")" = Withdrawn ]
}

is_shown_normal() {
  is_viewable "$1" && [ "$(wm_state "$1")" = Normal ] \
    && ! x xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_HIDDEN
}

# The program's icon in the notification area as "x y width height" on the
# screen, once it is mapped there.
tray_icon() {
  local id
  for id in $(tray_icon_windows); do
    if is_viewable "$id"; then
      x xwininfo -id "$id" 2>/dev/null | awk '
        /Absolute upper-left X:/ { gx = $NF } /Absolute upper-left Y:/ { gy = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
        END { print gx, gy, w, h }'
      return 0
    fi
  done
}

# Only a window inside the tray counts: before the tray embeds it, the icon's
# window may for a moment stand elsewhere on the screen.
# An icon that has just been replaced may linger there, unmapped, for a
# moment; every one is listed.
# The icon's window carries tray_icon_class, as xwininfo shows it (under
# Wine, the class of Wine's own tray windows).
tray_icon_windows() {
  x xwininfo -root -tree 2>/dev/null | awk -v class="(${tray_icon_class:-\"orvane\" \"Orvane\"})" '
    function indent(line) { match(line, /^ */); return RLENGTH }
    tray >= 0 && indent($0) <= tray { tray = -1 }
    tray >= 0 && index($0, class) > 0 { print $1 }
    /"SystemTray"/ { tray = indent($0) }
    BEGIN { tray = -1 }'
}

has_tray_icon() {
  [ -n "$(tray_icon)" ]
}

# Gone from the tray altogether, mapped or not.
no_tray_icon() {
  [ -z "$(tray_icon_windows)" ]
}

tray_click() {
  local ix iy iw ih
  read -r ix iy iw ih <<<"$(tray_icon)"
  [ -n "$ix" ] || return 1
  x xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click "$1"
}

tray_double_click() {
  local ix iy iw ih
  read -r ix iy iw ih <<<"$(tray_icon)"
  [ -n "$ix" ] || return 1
  x xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click --repeat 2 --delay 80 1
}

# The popup menu: an override-redirect window of the program that is on
# screen and larger than the tray icon.
popup_menu() {
  local w
  for w in $(x xdotool search --onlyvisible --classname orvane 2>/dev/null); do
    local info
    info=$(x xwininfo -id "$w" 2>/dev/null) || continue
    grep -q 'Override Redirect State: yes' <<<"$info" || continue
    local width height
    width=$(sed -n 's/^ *Width: //p' <<<"$info")
    height=$(sed -n 's/^ *Height: //p' <<<"$info")
    if [ "${width:-0}" -gt 64 ] && [ "${height:-0}" -gt 64 ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# A right click on the icon, again if no menu came: a press that lands while
# the tray is still taking in a new icon window is lost, as it would be for a
# person, who would simply click again.
open_tray_menu() {
  local try
  for try in 1 2 3; do
    tray_click 3
    wait_for 1.5 menu_open && return 0
  done
  return 1
}

menu_open() {
  popup_menu >/dev/null
}

menu_closed() {
  ! popup_menu >/dev/null
}

# "x y width height" of a window on the screen.
window_geometry() {
  x xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ { gx = $NF } /Absolute upper-left Y:/ { gy = $NF }
    /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
    END { print gx, gy, w, h }'
}

# The first window on screen of that title.
shown_window_named() {
  local w
  for w in $(windows_named "$1"); do
    if is_viewable "$w"; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# The About window, by its title.
about_window() {
  shown_window_named 'About MP3 Orvane'
}
about_open() {
  about_window >/dev/null
}
about_gone() {
  ! about_open
}
# --- the player on the session bus (MPRIS) ------------------------------------

service=org.mpris.MediaPlayer2.orvane
obj=/org/mpris/MediaPlayer2
player_if=org.mpris.MediaPlayer2.Player

# A property's value as dbus-send prints it, without the type: of the
# player's interface, or of the one given.
prop() {
  timeout 5 dbus-send --session --print-reply=literal --dest=$service $obj \
    org.freedesktop.DBus.Properties.Get "string:${2:-$player_if}" "string:$1" 2>/dev/null |
    sed -e 's/^ *variant *//' -e 's/^[a-z0-9]* //' -e 's/ *$//'
}

status_is() {
  [ "$(prop PlaybackStatus)" = "$1" ]
}

# The file heard: Metadata's xesam:url.
heard_url() {
  timeout 5 dbus-send --session --print-reply --dest=$service $obj \
    org.freedesktop.DBus.Properties.Get string:$player_if string:Metadata 2>/dev/null |
    awk 'found && /string / { sub(/.*string "/, ""); sub(/".*/, ""); print; exit } /"xesam:url"/ { found = 1 }'
}

on_bus() {
  timeout 5 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$service" 2>/dev/null | grep -q 'boolean true'
}

# --- pictures --------------------------------------------------------------

# Saves the tray icon's square of the screen as FILE.
tray_capture() {
  local ix iy iw ih screen=$work/screen.png
  read -r ix iy iw ih <<<"$(tray_icon)"
  [ -n "$ix" ] || return 1
  x import -window root "$screen" 2>/dev/null || return 1
  convert "$screen" -crop "${iw}x${ih}+${ix}+${iy}" +repage "$1"
}

# The dominant hue of a picture: green, amber, or other. The tray images are a
# green tile while playing or stopped and an amber one while paused.
picture_hue() {
  convert "$1" -scale '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info: 2>/dev/null |
    awk '{ if ($2 > $1 + 20 && $2 > $3 + 20) print "green";
           else if ($1 > $2 + 20 && $2 > $3 + 20) print "amber";
           else print "other" }'
}

tray_hue_is() {
  tray_capture "$work/tray-now.png" && [ "$(picture_hue "$work/tray-now.png")" = "$1" ]
}

# Pixels that differ between two pictures of the same size.
pixels_differing() {
  compare -metric AE "$1" "$2" null: 2>&1 | awk '{ print int($1) }'
}
