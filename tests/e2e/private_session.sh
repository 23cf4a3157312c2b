# shellcheck shell=bash
# The opening every desktop test shares, and the private session it runs in.
#
#   here=$(cd "$(dirname "$0")" && pwd)
#   source "$here/private_session.sh"
#   e2e_begin NAME "$@"
#
# e2e_begin checks the one argument (the program), runs the script again
# inside a private sound server and session bus (in_private_session), and
# sets bin, suite_name, shots (the screenshot folder) and work (a temporary
# folder), sources lib.sh and desktop.sh, and cleans up at the end: the
# desktop, then what the test's own e2e_after function stops (when it has
# one), then the work folder.

# Runs the calling test script again inside a private sound server (a null
# sink, scripts/pulse_session.sh) and a session bus of its own, both gone when
# the script ends. The program plays into the null sink: without a sound
# output it would stop each file as unheard and wait for a device. The
# accessibility bus, when a test starts it on that session bus, announces its
# registry on standard output, which is kept out of the report.
in_private_session() {
  local name=$1
  shift
  if [ -z "${ORVANE_PRIVATE_PULSE:-}" ]; then
    exec "$here/../../scripts/pulse_session.sh" "$0" "$@"
  fi
  if [ -z "${ORVANE_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null || { echo "$name: dbus-run-session is missing (package dbus)" >&2; exit 1; }
    exec dbus-run-session -- env ORVANE_PRIVATE_BUS=1 "$0" "$@" > >(grep -v '^SpiRegistry daemon') 2> >(grep -v '^dbus-daemon\[' >&2)
  fi
}

e2e_begin() {
  local name=$1
  shift
  if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 BINARY" >&2
    exit 2
  fi
  in_private_session "$name" "$@"
  bin=$(realpath "$1")
  suite_name=$name
  shots=$(cd "$here/../.." && pwd)/build/e2e-shots
  mkdir -p "$shots"
  work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-$name.XXXXXX")
  trap e2e_end EXIT
  trap 'exit 130' INT TERM
  # shellcheck source=tests/e2e/lib.sh
  source "$here/lib.sh"
  # shellcheck source=tests/e2e/desktop.sh
  source "$here/desktop.sh"
}

e2e_end() {
  stop_desktop
  if declare -F e2e_after >/dev/null; then
    e2e_after
  fi
  rm -rf "$work"
}
