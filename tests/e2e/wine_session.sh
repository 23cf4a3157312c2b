# shellcheck shell=bash
# The Windows program's Wine for a desktop test: the prefix of the build's own
# (the one its unit tests use), no desktop menu entries, no offer to install
# Mono or Gecko, and sound through Wine's PulseAudio driver into the private
# server when the test runs in one, else through the ALSA driver into the null
# device named in the test's home. Sourced after desktop.sh; expects build
# (the mingw build folder) and home to be set.

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml,winepulse.drv=d"
if [ -n "${ORVANE_PRIVATE_PULSE:-}" ]; then
  export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml=d"
fi

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
