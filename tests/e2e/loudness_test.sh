#!/usr/bin/env bash
# Even Loudness heard end to end through a private sound server: folders
# tagged -6 dB and +3 dB and folders without tags 12 dB apart, all heard
# within 1 dB of each other with the option on (by the second round), as they
# are with it off, and no gap over 5 ms at any join. The program given plays;
# the run is bench/loudness_bench.sh's, with short files.
#
#   tests/e2e/loudness_test.sh path/to/orvane
set -euo pipefail
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
ORVANE_EXE=$bin exec "$here/../../bench/loudness_bench.sh" --check
