#!/usr/bin/env bash
# Times one settings store against QSettings storing the same value, and a
# store that first takes over a lock left by a killed copy.
#   bench/settings_store_bench.sh [FOLDER] [STORES]
# FOLDER is where the settings files go (default: the temporary folder; a
# folder on the disk that holds ~/.config measures what users get).
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
run_bench settings_store_bench "$@"
