#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Orvane needs.
# Does nothing when they are all present already.
set -euo pipefail

packages=(
  cmake g++ ninja-build ccache pkg-config
  qt6-base-dev qt6-qpa-plugins libmpv-dev mpv fonts-liberation fonts-dejavu-core
  googletest libgtest-dev libgmock-dev libbenchmark-dev valgrind
  xvfb icewm xdotool x11-utils imagemagick librsvg2-bin lame strace util-linux
  at-spi2-core python3-pyatspi python3-xlib
  g++-mingw-w64-x86-64 wine64 gstreamer1.0-plugins-good nsis
  libicu-dev
  mp3gain eyed3 id3v2 libebur128-dev libmpg123-dev
  pulseaudio pulseaudio-utils dbus playerctl python3
  python3-fusepy fuse3
  desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
