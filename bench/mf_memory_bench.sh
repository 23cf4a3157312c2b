#!/usr/bin/env bash
# Whose is the private memory the Windows program gains per file it opens
# under Wine: Media Foundation's source reader alone (no code of ours), the
# program's decoder, and the WASAPI control playing the files one after
# another as the player does (bench/mf_memory_probe.cpp):
#
#   bench/mf_memory_bench.sh [files]     (800 unless told)
#
# Run in the Windows tests' Wine prefix, their sound into ALSA's null device.
# The whole program's figure, on WASAPI and on MCI, comes from
# `bench/fault_cost_bench.sh music 90`.
set -euo pipefail
export LC_ALL=C

source "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"
files=${1:-800}
win_build=${WIN_BUILD_DIR:-$source_dir/build-mingw}
wine=/usr/lib/wine/wine64

cd "$source_dir"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2 --target orvane_win32 >/dev/null
probe=$win_build/bench/mf_memory_probe.exe
mkdir -p "${probe%/*}"
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -Wextra -DUNICODE -D_UNICODE -municode -Isrc -Isrc/win32 \
  bench/mf_memory_probe.cpp -o "$probe" -static -static-libgcc -static-libstdc++ \
  "$win_build/src/win32/liborvane_win32.a" "$win_build/liborvane_core.a" \
  -ladvapi32 -lwinmm -lcomctl32 -lshell32 -lole32 -loleaut32 -loleacc -lgdi32 -luser32 -lmfuuid -lpsapi -luuid
tests/win32/make_tones.sh "$win_build/tests/win32/tones"
tone="Z:$win_build/tests/win32/tones/tone-44100-1-300.mp3"

export WINEPREFIX=$win_build/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe,mscoree,mshtml,winepulse.drv=d"
unset DISPLAY WAYLAND_DISPLAY
export HOME=$win_build/wine-home
mkdir -p "$HOME"
printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc"
for mode in reader decoder control; do
  "$wine" "$probe" "$mode" "$files" "${tone//\//\\}"
done
"${wine%/*}/wineserver" -w
