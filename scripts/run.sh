#!/usr/bin/env bash
# Installs what is missing, builds the player and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
cmake --preset default
cmake --build --preset default
exec build/orvane
