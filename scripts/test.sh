#!/usr/bin/env bash
# Sets up, builds and runs every test suite: the normal build, the same suites
# under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, the desktop tests on a virtual X display, and the Windows
# program built with mingw-w64, its tests and its desktop test under Wine.
#
# The desktop tests mostly wait for music to play in real time, so the
# Windows build (with its Wine prefix) and then the sanitizer build run
# beside them at the lowest priority: they take only what the tests leave of
# the CPU, and stop while a suite that times the window or plays through
# Wine runs. Every suite prints its wall time and the CPU time it used.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1

# Compiler cache hits across clones in other folders.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true

passed=0
failed=0
report=()
failures=()
logs=$(mktemp -d "${TMPDIR:-/tmp}/orvane-test.XXXXXX")
declare -A background_pids
# signal_tree SIGNAL PID: the process and every one below it, each before
# its children, so that none starts a child that the signal misses.
signal_tree() {
  local child
  kill "-$1" "$2" 2>/dev/null
  for child in $(pgrep -P "$2"); do
    signal_tree "$1" "$child"
  done
}
each_background() {
  local pid
  for pid in "${background_pids[@]}"; do
    "$@" "$pid"
  done
}
# A run broken off takes the builds still running in the background with it.
stop_background() {
  each_background signal_tree TERM
  each_background signal_tree CONT
}
trap 'stop_background; rm -rf "$logs"' EXIT

# User plus system seconds of this shell's finished children so far. Called
# as it is, not in $(...), whose subshell has no children of its own.
children_cpu() {
  local file=$logs/times.$BASHPID
  times >"$file"
  children_seconds=$(awk 'NR == 2 { t = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
    printf "%.1f", t }' "$file")
}

# run_suite NAME COMMAND...: runs one suite and writes "status wall cpu" to
# $logs/NAME.result.
run_suite() {
  local name=$1 start cpu status
  shift
  echo "=== $name"
  start=$EPOCHREALTIME
  children_cpu
  cpu=$children_seconds
  "$@" 2>&1 | tee "$logs/$name.out"
  status=${PIPESTATUS[0]}
  children_cpu
  printf '%s %s %s\n' "$status" \
    "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')" \
    "$(awk -v a="$cpu" -v b="$children_seconds" 'BEGIN { printf "%.0f", b - a }')" >"$logs/$name.result"
}

# Counts a finished suite and prints its line.
tally() {
  local name=$1 status wall cpu
  read -r status wall cpu <"$logs/$name.result"
  report+=("$(printf '%-28s %5s s wall %5s s CPU' "$name" "$wall" "$cpu")")
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "=== $name: $wall s wall, $cpu s CPU"
  else
    failed=$((failed + 1))
    echo "=== $name FAILED ($wall s wall, $cpu s CPU)"
    # What failed, where the summary shows it: a long log's head alone
    # rarely names the test.
    failures+=("--- $name:" "$(grep -a -E '^\[  FAILED  \]|: Failure$|\*\*\*(Failed|Exception|Timeout)|^(FAIL|not ok)\b' \
      "$logs/$name.out" | sort -u | head -n 30)")
  fi
}

suite() {
  run_suite "$@"
  tally "$1"
}

# A suite that times how soon the window answers runs with the background
# builds held, so that no build's memory and disk traffic counts in its times.
alone() {
  # Twice: a child forked as its parent stopped shows only afterwards.
  each_background signal_tree STOP
  each_background signal_tree STOP
  run_suite "$@"
  each_background signal_tree CONT
  tally "$1"
}

# background NAME COMMAND...: the suite at the lowest priority, its output
# kept until finish NAME waits for it and shows it.
background() {
  local name=$1
  (
    renice -n 19 -p "$BASHPID" >/dev/null
    run_suite "$@"
  ) >"$logs/$name.log" 2>&1 &
  background_pids[$name]=$!
}

renice_tree() {
  local child
  renice -n "$1" -p "$2" >/dev/null 2>&1
  for child in $(pgrep -P "$2"); do
    renice_tree "$1" "$child"
  done
}

# Waited for, the suite gets the priority of the run again.
finish() {
  renice_tree "$(nice)" "${background_pids[$1]}"
  wait "${background_pids[$1]}"
  unset "background_pids[$1]"
  cat "$logs/$1.log"
  tally "$1"
}

build() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 "$@"
}

# The sanitizer suite runs only the tests: the program itself is not built.
sanitizer_build() {
  while kill -0 "$1" 2>/dev/null; do
    sleep 1
  done
  build asan --target tests/all
}

# The thread sanitizer's preset builds only the test programs it runs.
thread_sanitizer_build() {
  while kill -0 "$1" 2>/dev/null; do
    sleep 1
  done
  build tsan
}

suite "build" build default
background "windows build" scripts/test_windows.sh --prepare
# After the Windows build, rather than beside it: the Windows tests come first.
background "sanitizer build" sanitizer_build "${background_pids[windows build]}"
background "thread sanitizer build" thread_sanitizer_build "${background_pids[sanitizer build]}"

suite "tests" ctest --preset default -j2
if [ -x tests/e2e/run.sh ]; then
  suite "desktop tests" tests/e2e/run.sh build/orvane
fi
suite "package tests" tests/e2e/package_test.sh build
suite "media control tests" tests/e2e/mpris_test.sh build/orvane
suite "hand-over tests" tests/e2e/handover_test.sh build/orvane
suite "loudness tests" tests/e2e/loudness_test.sh build/orvane
suite "screen reader tests" tests/e2e/a11y_test.sh build/orvane
alone "slow share tests" tests/e2e/slow_share_test.sh build/orvane
suite "place tests" tests/e2e/resume_test.sh build/orvane

finish "windows build"
alone "windows tests" scripts/test_windows.sh
alone "windows desktop tests" tests/e2e/wine_desktop_test.sh build-mingw
alone "windows loudness tests" tests/e2e/wine_loudness_test.sh build-mingw
alone "windows slow share tests" tests/e2e/wine_slow_share_test.sh build-mingw

finish "sanitizer build"
suite "sanitizer tests" ctest --preset asan -j2

finish "thread sanitizer build"
suite "thread sanitizer tests" ctest --preset tsan -j2

echo
printf '%s\n' "${report[@]}"
[ "${#failures[@]}" -eq 0 ] || printf '%s\n' "" "${failures[@]}"
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
