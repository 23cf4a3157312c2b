#!/usr/bin/env bash
# The Debian package: built with cpack from a configured build folder,
# unpacked into a temporary folder, every installed file checked, and the
# unpacked program started on a virtual X desktop until its window is up and
# its tray image has come from the unpacked data folder.
#
#   tests/e2e/package_test.sh BUILD_FOLDER
set -uo pipefail
export LC_ALL=C

if [ $# -ne 1 ] || [ ! -f "$1/CPackConfig.cmake" ]; then
  echo "usage: $0 BUILD_FOLDER (a configured and built folder)" >&2
  exit 2
fi
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
suite_name=package
shots=$build/e2e-shots
mkdir -p "$shots"

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-package.XXXXXX")
trap 'stop_desktop; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/desktop.sh
source "$here/desktop.sh"

need_tools cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli Xvfb icewm xdotool xwininfo xprop import convert identify

app_id=org.example.orvane
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")

# --- the package ------------------------------------------------------------------

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg") >"$work/cpack.log" 2>&1 ||
  { tail -n 20 "$work/cpack.log"; abort "cpack makes the Debian package"; }
deb=$(ls "$work"/pkg/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || abort "cpack makes the Debian package"
ok "cpack makes $(basename "$deb")"

field() {
  dpkg-deb -f "$deb" "$1"
}
check "the package is orvane $version" test "$(field Package) $(field Version)" = "orvane $version"
depends=$(field Depends)
for lib in libmpv2 libqt6widgets6 libqt6dbus6 libc6; do
  check "it depends on $lib, found by the libraries the program links" grep -q "\\b$lib\\b" <<<"$depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root" || abort "the package unpacks"

files=(
  usr/bin/orvane
  usr/share/orvane/Volume02.ico
  usr/share/orvane/Volume03.ico
  usr/share/applications/$app_id.desktop
  usr/share/metainfo/$app_id.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/$app_id.svg
)
for size in 16 24 32 48 64 128 256; do
  files+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for f in "${files[@]}"; do
  check "the package holds /$f" test -s "$root/$f"
done
check "the program is executable" test -x "$root/usr/bin/orvane"
check "no image lies beside the program" bash -c "! ls '$root/usr/bin' | grep -v '^orvane\$'"
for size in 16 48 256; do
  check "the ${size}px icon is ${size}x${size}" \
    test "$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")" = "${size}x${size}"
done

# --- menu entry and metainfo ------------------------------------------------------

desktop=$root/usr/share/applications/$app_id.desktop
# A key of the [Desktop Entry] group, or of the action given.
entry() {
  local group=${2:-Desktop Entry}
  awk -v key="$1" -v group="[$group]" '
    /^\[/ { in_group = ($0 == group) }
    in_group && index($0, key "=") == 1 { print substr($0, length(key) + 2) }' "$desktop"
}
check "the menu entry passes desktop-file-validate" desktop-file-validate "$desktop"
exec_line=$(entry Exec)
check "the menu entry starts the packaged program" test -x "$root/usr/bin/${exec_line%% *}"
check "... with the files chosen in the file manager" test "$exec_line" = "orvane %F"
check "the menu entry opens MP3 files, and claims no folders" test "$(entry MimeType)" = "audio/mpeg;"
check "its action Play Folder… lets a folder be chosen" \
  test "$(entry Name 'Desktop Action play-folder'): $(entry Exec 'Desktop Action play-folder')" = "Play Folder…: orvane --choose-folder"
check "the menu entry's icon is in the hicolor theme" test "$(entry Icon)" = "$app_id"
check "the menu entry is a music player" test "$(entry Categories)" = "AudioVideo;Audio;Player;"

metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
check "the metainfo passes appstreamcli validate" appstreamcli validate --no-net "$metainfo"
check "the metainfo names this release ($version)" grep -q "<release version=\"$version\"" "$metainfo"
check "the metainfo shows a screenshot" grep -q '<image>https://.*\.png</image>' "$metainfo"
check "the metainfo launches the menu entry" grep -q "<launchable type=\"desktop-id\">$app_id.desktop<" "$metainfo"

# --- the unpacked program on a desktop ------------------------------------------------

# The unpacked not-paused image becomes red, a colour neither the packaged
# image nor the copy built into the program has: a red tray icon can only come
# from the unpacked data folder.
write_icon "$root/usr/share/orvane/Volume02.ico" red || abort "the tray image is recoloured"

start_desktop
env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb "$root/usr/bin/orvane" >"$work/app.log" 2>&1 &
app_pid=$!

wait_for 15 main_window >/dev/null || abort "the unpacked program shows its main window"
main=$(main_window)
ok "the unpacked program shows its main window"
wm_class=$(x xprop -id "$main" WM_CLASS | sed -n 's/.*= "\(.*\)", "\(.*\)"$/\2/p')
check "the window's class ($wm_class) is the menu entry's StartupWMClass" test "$wm_class" = "$(entry StartupWMClass)"
shot package-main

x xdotool windowminimize "$main"
check "minimised, it puts an icon in the tray" wait_for 5 has_tray_icon
tray_is_red() {
  local r g b
  tray_capture "$work/tray.png" || return 1
  read -r r g b <<<"$(picture_rgb "$work/tray.png")"
  [ "${r:-0}" -gt 150 ] && [ "${g:-255}" -lt 90 ] && [ "${b:-255}" -lt 90 ]
}
check "the tray image comes from the unpacked data folder" wait_for 5 tray_is_red
app_alive || abort "the unpacked program keeps running"

summary
