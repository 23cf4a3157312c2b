#!/usr/bin/env bash
# Decoding cost of the libmpv media control against the mpv command line on
# the same files, and the time from "Open" to first audio.
#   bench/mpv_decode_bench.sh [SECONDS_PER_FILE] [FILES] [RUNS]
# BUILD_DIR picks the build folder (default: build).
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
run_bench mpv_decode_bench "$@"
