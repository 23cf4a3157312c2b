#!/usr/bin/env bash
# Times the folder walk against `find ROOT -type d` on a tree of 20,000 folders
# and 100,000 files (generated once, then reused).
#   bench/walk_bench.sh [ROOT] [RUNS]
# BUILD_DIR picks the build folder (default: build); PROFILE=callgrind runs the
# benchmark under callgrind once and prints the most expensive functions.
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
run_bench walk_bench "$@"
