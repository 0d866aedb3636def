#!/usr/bin/env bash
# Runs a command inside a private Wayland desktop: Weston, a private D-Bus
# session with the accessibility bus switched on, no X display for the
# command. Weston runs on its X11 backend inside a virtual X server: its
# headless backend has no seat, so no window is ever activated or focused
# there, and activation is what this desktop exists to show. Input typed
# into the X server (xdotool on VELMAR_WESTON_X_DISPLAY) reaches the focused
# Wayland window through Weston, as a person's keyboard would.
# The command sees WAYLAND_DISPLAY, the session bus, VELMAR_WESTON_X_DISPLAY
# and VELMAR_WAYLAND_SESSION=1. Exits 77 (skipped) with a reason when a
# needed program is missing.
#
#   wayland-session.sh COMMAND [ARGS...]
set -euo pipefail

if [ "${1:-}" != "--inside-bus" ]; then
  missing=()
  for tool in weston Xvfb dbus-run-session gdbus; do command -v "$tool" >/dev/null || missing+=("$tool"); done
  [ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
  if ((${#missing[@]})); then
    echo "wayland session skipped: missing ${missing[*]} (scripts/bootstrap.sh installs them)" >&2
    exit 77
  fi
  dir="$(mktemp -d /tmp/velmar-wayland.XXXXXX)"
  chmod 700 "$dir"
  trap 'kill "${weston_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$dir" 2>/dev/null || true' EXIT
  export XDG_RUNTIME_DIR="$dir"
  . "$(dirname "$0")/xvfb.sh"
  start_xvfb "$dir" 1300x950x24 || exit 1
  DISPLAY=":$display" weston --backend=x11-backend.so --socket=wayland-velmar --width=1280 --height=900 \
    --idle-time=0 >"$dir/weston.log" 2>&1 &
  weston_pid=$!
  for _ in $(seq 100); do [ -S "$dir/wayland-velmar" ] && break; sleep 0.1; done
  [ -S "$dir/wayland-velmar" ] || { echo "Weston did not start" >&2; cat "$dir/weston.log" >&2; exit 1; }
  unset DISPLAY
  export WAYLAND_DISPLAY=wayland-velmar VELMAR_SESSION_DIR="$dir" VELMAR_WESTON_X_DISPLAY=":$display"
  set +e
  dbus-run-session -- "$0" --inside-bus "$@"
  rc=$?
  set -e
  exit $rc
fi
shift
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
export ACCESSIBILITY_ENABLED=1 NO_AT_BRIDGE=0 VELMAR_WAYLAND_SESSION=1
"$@"
