#!/usr/bin/env bash
# Times a date-ordered play list build of a 10,000-file folder against
# `find DIR -maxdepth 1 -name '*.mp3' -printf '%B@\n'`, and SortArray on
# 32,767 records.
#   bench/build_bench.sh [DIR] [RUNS]
# BUILD_DIR picks the build folder (default: build); PROFILE=callgrind runs the
# benchmark under callgrind once and prints the most expensive functions.
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
run_bench build_bench "$@"
