#!/usr/bin/env bash
# Runs a command inside a private desktop: its own X server (Xvfb), its own
# D-Bus session bus and, where it can be started, its own unlocked GNOME
# Keyring holding a throw-away login keyring. Nothing of the caller's desktop
# is touched. Usage: private-desktop.sh COMMAND [ARG...]
set -euo pipefail

if [ "${1:-}" = "--inside" ]; then
  shift
  # Inside the private bus: start the keyring for this bus only.
  if command -v gnome-keyring-daemon >/dev/null 2>&1; then
    if out=$(printf 'velmar-test' | gnome-keyring-daemon --unlock --components=secrets --daemonize 2>&1); then
      eval "$(printf '%s\n' "$out" | sed -n 's/^\([A-Z_]*=.*\)$/export \1/p')"
      # The daemon registers on the bus shortly after it forks.
      for _ in $(seq 1 50); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
          org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true" && break
        sleep 0.1
      done
    else
      export VELMAR_NO_SECRET_SERVICE="gnome-keyring-daemon failed to start: $out"
    fi
  else
    export VELMAR_NO_SECRET_SERVICE="gnome-keyring-daemon is not installed"
  fi
  # VELMAR_TRAY_HOST=1: a panel with a status tray, before the command.
  [ "${VELMAR_TRAY_HOST:-0}" = 1 ] && { bash "$(dirname "$0")/tray-panel.sh" >/dev/null || true; }
  status=0
  "$@" || status=$?
  # The keyring belongs to this bus; end it with the session.
  [ -n "${GNOME_KEYRING_PID:-}" ] && kill "$GNOME_KEYRING_PID" 2>/dev/null || true
  exit $status
fi

for tool in Xvfb dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "private-desktop: $tool is not installed" >&2; exit 1; }
done

home=$(mktemp -d "${TMPDIR:-/tmp}/velmar-desktop.XXXXXX")
xvfb_pid=""
cleanup() {
  # Helpers of the private session may still be writing their caches as it
  # ends; tidying up never changes the command's own status.
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$home" 2>/dev/null || { sleep 0.5; rm -rf "$home" 2>/dev/null || true; }
}
trap cleanup EXIT

. "$(dirname "$0")/xvfb.sh"
start_xvfb "$home" 1280x800x24 || exit 1

mkdir -p "$home/data" "$home/config" "$home/cache" "$home/runtime"
chmod 700 "$home/runtime"
env DISPLAY=":$display" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/runtime" WAYLAND_DISPLAY= \
    dbus-run-session -- "$0" --inside "$@"
