# shellcheck shell=bash
# The opening the Windows program's desktop tests share, and their Wine.
#
#   here=$(cd "$(dirname "$0")" && pwd)
#   source "$here/wine_session.sh"
#   wine_begin NAME "$@"
#
# wine_begin checks the one argument (a built mingw folder holding
# orvane.exe), runs the script again inside a private sound server when
# PulseAudio is installed, sets build, suite_name, shots (the build's
# screenshot folder) and work (a temporary folder), sources lib.sh and
# desktop.sh, and cleans up at the end: what the test's own wine_after
# function stops (its program, its share), then Wine, the desktop and the
# work folder.
#
# Wine is the prefix of the build's own (the one its unit tests use), with no
# desktop menu entries, no offer to install Mono or Gecko, and sound through
# Wine's PulseAudio driver into the private server when the test runs in one,
# else through the ALSA driver into the null device named in the test's home.

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

wine_begin() {
  local name=$1
  shift
  if [ $# -ne 1 ] || [ ! -f "$1/orvane.exe" ]; then
    echo "usage: $0 BUILD_FOLDER (holding orvane.exe)" >&2
    exit 2
  fi
  if [ -z "${ORVANE_PRIVATE_PULSE:-}" ] && command -v pulseaudio >/dev/null && command -v parec >/dev/null; then
    exec "$here/../../scripts/pulse_session.sh" "$0" "$@"
  fi
  build=$(realpath "$1")
  suite_name=$name
  shots=$build/e2e-shots
  mkdir -p "$shots"
  work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-$name.XXXXXX")
  trap wine_end EXIT
  trap 'exit 130' INT TERM
  # shellcheck source=tests/e2e/lib.sh
  source "$here/lib.sh"
  # shellcheck source=tests/e2e/desktop.sh
  source "$here/desktop.sh"

  export WINEPREFIX=$build/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml,winepulse.drv=d"
  if [ -n "${ORVANE_PRIVATE_PULSE:-}" ]; then
    export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"
    # The latency a desktop's sound settings usually ask for: what is heard
    # follows what was asked within a few tens of milliseconds.
    export PULSE_LATENCY_MSEC=${PULSE_LATENCY_MSEC:-30}
  fi
}

wine_end() {
  if declare -F wine_after >/dev/null; then
    wine_after
  fi
  end_wine
  stop_desktop
  rm -rf "$work"
}

end_wine() {
  timeout 20 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null
}

# The virtual desktop, and a Wine session of its own on it: one left from the
# unit tests would run without the display.
start_wine_desktop() {
  end_wine
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    env -u DISPLAY "$wine" wineboot -u >/dev/null 2>&1
    end_wine
  fi
  start_desktop
  printf 'pcm.!default { type null }\n' >"$home/.asoundrc"
  export HOME=$home
}

# The Windows path of a file of this machine (Wine's drive Z: is /).
winpath() {
  local p=$1
  echo "Z:${p//\//\\}"
}
