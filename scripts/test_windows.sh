#!/usr/bin/env bash
# Cross-builds the UI-free core, the Windows program (orvane.exe, its windows,
# tray and media control on MCI, its zip and its installer) and their tests
# for Windows (mingw-w64) and runs the tests under Wine, headless, in a Wine
# prefix of their own inside the build folder. Extra arguments go to ctest
# (for example -R or --output-on-failure). The program on a desktop, the
# installer and the media keys are the business of
# tests/e2e/wine_desktop_test.sh. With --prepare as the only argument, it
# builds and makes the Wine prefix but runs no test (scripts/test.sh does that
# while other suites run).
set -euo pipefail

cd "$(dirname "$0")/.."
build=build-mingw
wine_loader=/usr/lib/wine/wine64

start=$(date +%s)
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2

# Headless and quiet: no display, no desktop menu entries, no offer to
# install Mono or Gecko. The same settings as the tests get from the build
# (cmake/mingw-w64-x86_64.cmake).
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml,winepulse.drv=d"
unset DISPLAY WAYLAND_DISPLAY

# MCI needs a sound device to open a file at all. Wine's ALSA driver plays
# into ALSA's null device, named in a home of the tests' own, so the tests
# behave the same with or without a sound card or sound server.
export HOME="$PWD/$build/wine-home"
mkdir -p "$HOME"
printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc"

built=$(date +%s)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  "$wine_loader" wineboot -u >/dev/null 2>&1 || true
  "${wine_loader%/*}/wineserver" -w
fi

prefixed=$(date +%s)
if [ "${1:-}" = --prepare ] && [ $# -eq 1 ]; then
  echo "Windows build: $((built - start)) s, Wine prefix: $((prefixed - built)) s"
  exit 0
fi
# A program started while the Wine server of an earlier run is shutting down
# can fail to start: that server goes first.
"${wine_loader%/*}/wineserver" -w
status=0
ctest --preset mingw "$@" || status=$?
done_at=$(date +%s)

echo "Windows build: $((built - start)) s, Wine prefix: $((prefixed - built)) s, tests under Wine: $((done_at - prefixed)) s"
exit "$status"
