#!/usr/bin/env bash
# Mutation testing of the UI-free core: makes one small change at a time to
# its sources (a comparison or logical operator turned round, true for false,
# a call or assignment deleted, a function left at once), rebuilds the core
# test binary, runs it, and puts the source back. A mutant the tests fail on
# (or hang on) is killed; one they pass with is a survivor, a behaviour no
# test holds, unless it changes nothing anyone can observe (an equivalent
# mutant: scripts/mutation_equivalent.txt names those known).
#
#   scripts/mutation.sh [-n SAMPLE] [-s SEED] [-t SECONDS] [-g GTEST_FILTER] [-m REGEX] [-l] [FILE...]
#
#   -n  how many mutants, drawn at random from all (default 120; 0: all of them)
#   -s  the seed of that draw (default 1): the same seed, the same mutants
#   -t  seconds a test run may take before the mutant counts as killed (default 30)
#   -g  only the tests matching this GoogleTest filter
#   -m  only the mutants whose line in the list (-l) matches this extended
#       regular expression, e.g. -n 0 -m 'sequencer.cpp.*passPlayed_'
#   -l  only list the mutants, build and run nothing
#   FILE  the sources to mutate (default: every core source built here)
#
# Not part of the default test run: a sample of 120 takes some minutes. It
# builds in build-mutation (unoptimised, no debug information: quick to
# rebuild; the standard library's containers check their indices, so that a
# read or write past an end kills its mutant as the asan preset would), and
# writes every result to build-mutation/mutation-results.tsv.
# The sources are restored whatever happens, Ctrl-C included.
set -uo pipefail
cd "$(dirname "$0")/.."

sample=120
seed=1
limit=30
filter=
match=
list_only=0
while getopts "n:s:t:g:m:lh" opt; do
  case $opt in
    n) sample=$OPTARG ;;
    s) seed=$OPTARG ;;
    t) limit=$OPTARG ;;
    g) filter=$OPTARG ;;
    m) match=$OPTARG ;;
    l) list_only=1 ;;
    *) sed -n '2,/^set -uo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

if [ $# -gt 0 ]; then
  sources=("$@")
else
  # The core as the Linux build has it: the Windows-only sources are left out.
  mapfile -t sources < <(ls src/player/*.cpp src/settings/*.cpp src/media/*.cpp src/platform/*.cpp \
    src/app/*.cpp src/desktop/*.cpp | grep -v '/win_')
fi

build=build-mutation
results=$build/mutation-results.tsv
mkdir -p "$build"
mutants=$(python3 scripts/mutants.py list --sample "$sample" --seed "$seed" \
  --equivalent scripts/mutation_equivalent.txt "${sources[@]}") || exit 1
if [ -n "$match" ]; then
  mutants=$(printf '%s\n' "$mutants" | grep -E -- "$match" | awk -F'\t' -v OFS='\t' '{ $1 = NR; print }')
  [ -n "$mutants" ] || { echo "No mutant matches $match"; exit 1; }
fi
if [ "$list_only" = 1 ]; then
  printf '%s\n' "$mutants"
  exit 0
fi

export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
linker=
command -v ld.lld >/dev/null && linker=-fuse-ld=lld
cmake -S . -B "$build" -G Ninja -DORVANE_CORE_ONLY=ON -DORVANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O0 -D_GLIBCXX_ASSERTIONS" -DCMAKE_EXE_LINKER_FLAGS="$linker" >/dev/null || exit 1
tests=$build/tests/orvane_core_tests
rebuild() { ninja -C "$build" tests/orvane_core_tests >"$build/mutant-build.log" 2>&1; }
run_tests() {
  # A mutant is killed by its first failing test: the rest need not run.
  local args=(--gtest_brief=1 --gtest_fail_fast)
  [ -n "$filter" ] && args+=("--gtest_filter=$filter")
  # In a shell of its own, whose report of a crash goes with the run's output.
  (timeout -k 5 "$limit" "$tests" "${args[@]}"; exit $?) >"$build/mutant-run.log" 2>&1
}

echo "Building the unmutated core tests in $build ..."
rebuild || { echo "The unmutated core does not build: see $build/mutant-build.log"; exit 1; }
run_tests || { echo "The unmutated core tests fail: see $build/mutant-run.log"; exit 1; }

# The pristine copy of the file being mutated, put back after each mutant and
# on any way out.
backup=$(mktemp -d)
mutated=
restore() {
  if [ -n "$mutated" ]; then
    cp "$backup/original" "$mutated" # a fresh time stamp: the next build recompiles it
    mutated=
  fi
}
finish() {
  restore
  rm -rf "$backup"
}
trap finish EXIT
trap 'echo; echo "Interrupted: sources restored."; exit 130' INT TERM

total=$(printf '%s\n' "$mutants" | grep -c .)
killed=0
survived=0
equivalent=0
stillborn=0
survivors=()
: >"$results"
start=$(date +%s)
while IFS=$'\t' read -r id file line col kind old new equiv text; do
  cp "$file" "$backup/original"
  mutated=$file
  python3 scripts/mutants.py apply "$file" "$line" "$col" "$old" "$new" || { restore; continue; }
  [ "$old" = '\0' ] && old=
  label="$file:$line $kind: '${old}' -> '${new}'"
  if ! rebuild; then
    verdict=stillborn
    stillborn=$((stillborn + 1))
  elif run_tests; then
    if [ "$equiv" = equivalent ]; then
      verdict=equivalent
      equivalent=$((equivalent + 1))
    else
      verdict=SURVIVED
      survived=$((survived + 1))
      survivors+=("$label")
    fi
  else
    case $? in 124 | 137) verdict=killed-by-timeout ;; *) verdict=killed ;; esac
    killed=$((killed + 1))
  fi
  restore
  printf '[%s/%s] %-18s %s\n' "$id" "$total" "$verdict" "$label"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$verdict" "$file" "$line" "$kind" "$old" "$new" "$text" >>"$results"
done <<<"$mutants"
rebuild >/dev/null

counted=$((killed + survived))
echo
echo "Mutants: $total (seed $seed), $stillborn not compiling, $equivalent known equivalent"
if [ "$counted" -gt 0 ]; then
  echo "Score: $killed of $counted killed ($((100 * killed / counted)) %) in $(($(date +%s) - start)) s"
fi
if [ ${#survivors[@]} -gt 0 ]; then
  echo "Survivors:"
  printf '  %s\n' "${survivors[@]}"
fi
