#!/usr/bin/env bash
# Even Loudness heard end to end from the Windows program under Wine,
# through Wine's PulseAudio driver into a private sound server: as
# tests/e2e/loudness_test.sh, on Media Foundation and WASAPI.
#
#   tests/e2e/wine_loudness_test.sh path/to/build-mingw
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
WIN_BUILD_DIR=$(cd "$1" && pwd) exec "$here/../../bench/loudness_bench.sh" --check --windows
