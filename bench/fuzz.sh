#!/usr/bin/env bash
# Fuzzes every parser of outside bytes (tests/fuzz/fuzz_entries.h) with
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, each for a few
# minutes from its corpus in the tree, then minimises that corpus again over
# what was found (-merge=1). The unit tests replay the corpus in every build.
#   bench/fuzz.sh [SECONDS_EACH] [TARGET...]
# Targets: place_text settings_values lame_header mp3_frame gain_tags (default: all).
# A finding stops the script with the input under build-fuzz/; mended, the
# input goes into the target's corpus as regress-NAME, which a merge keeps.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$source_dir/build-fuzz}
seconds=${1:-180}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(place_text settings_values lame_header mp3_frame gain_tags)

export CCACHE_BASEDIR=$source_dir CCACHE_NOHASHDIR=true
CXX=${CXX:-clang++} cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANE_CORE_ONLY=ON -DORVANE_BENCH=OFF -DORVANE_FUZZ=ON >/dev/null
nice -n 10 cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  corpus=$source_dir/tests/fuzz/corpus/$target
  found=$build/found-$target
  mkdir -p "$found"
  echo "=== $target: ${seconds} s"
  nice -n 10 "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="$build/$target-" "$found" "$corpus"
  # The corpus again, as few inputs as reach every edge it and the run reached;
  # the regression inputs stay whatever they add.
  merged=$(mktemp -d)
  kept=$(mktemp -d)
  find "$corpus" -maxdepth 1 -name 'regress-*' -exec mv {} "$kept/" \;
  "$build/tests/fuzz/fuzz_$target" -merge=1 -use_counters=0 -max_len=8192 "$merged" "$corpus" "$found" 2>/dev/null
  find "$corpus" -maxdepth 1 -type f -delete
  mv "$merged"/* "$corpus/" 2>/dev/null || true
  mv "$kept"/* "$corpus/" 2>/dev/null || true
  rmdir "$merged" "$kept"
  echo "=== $target: $(find "$corpus" -type f | wc -l) inputs kept"
done
