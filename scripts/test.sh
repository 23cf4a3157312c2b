#!/usr/bin/env bash
# Sets up, builds and runs every test suite: the normal build, the same suites
# under AddressSanitizer + UndefinedBehaviorSanitizer, the desktop tests on a
# virtual X display, and the Windows program built with mingw-w64, its tests
# and its desktop test under Wine.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1

# Compiler cache hits across clones in other folders.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true

passed=0
failed=0
suite() {
  local name=$1
  shift
  echo "=== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "=== $name FAILED"
  fi
}

timed() {
  local start status
  start=$(date +%s)
  "$@"
  status=$?
  echo "$1: $(($(date +%s) - start)) s"
  return "$status"
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j2
}

suite "build" build default
suite "tests" ctest --preset default -j2
suite "sanitizer build" build asan
suite "sanitizer tests" ctest --preset asan -j2
suite "thread sanitizer tests" bash -c 'cmake --preset tsan >/dev/null && cmake --build --preset tsan -j2 && ctest --preset tsan -j2'
if [ -x tests/e2e/run.sh ]; then
  suite "desktop tests" tests/e2e/run.sh build/orvane
fi
suite "package tests" tests/e2e/package_test.sh build
suite "media control tests" tests/e2e/mpris_test.sh build/orvane
suite "screen reader tests" tests/e2e/a11y_test.sh build/orvane
suite "slow share tests" tests/e2e/slow_share_test.sh build/orvane
suite "place tests" tests/e2e/resume_test.sh build/orvane
if [ -x scripts/test_windows.sh ]; then
  suite "windows tests" scripts/test_windows.sh
  suite "windows desktop tests" timed tests/e2e/wine_desktop_test.sh build-mingw
  suite "windows slow share tests" tests/e2e/wine_slow_share_test.sh build-mingw
fi

echo
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
