# Runs the calling test script again inside a private sound server (a null
# sink, scripts/pulse_session.sh) and a session bus of its own, both gone when
# the script ends. The program plays into the null sink: without a sound
# output it would stop each file as unheard and wait for a device. The
# accessibility bus, when a test starts it on that session bus, announces its
# registry on standard output, which is kept out of the report.
#
#   here=...; source "$here/private_session.sh"; in_private_session NAME "$@"
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
