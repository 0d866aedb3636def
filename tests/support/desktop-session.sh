#!/usr/bin/env bash
# Runs a command inside a private desktop: a virtual X display, a private
# D-Bus session with the accessibility bus switched on, a local HTTPS server
# holding the chat pages under the real host names, and Chromium with its
# renderer accessibility on. Nothing leaves the machine: every host resolves
# to the loopback address.
#
#   desktop-session.sh COMMAND [ARGS...]
#
# The command sees DISPLAY, the session bus, VELMAR_DESKTOP_SESSION=1,
# VELMAR_CHROMIUM_PID, VELMAR_CHROMIUM_WINDOW and VELMAR_SESSION_DIR.
# Exits 77 (skipped) with a reason when a needed program is missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"

if [ "${1:-}" != "--inside-bus" ]; then
  missing=()
  for tool in Xvfb dbus-run-session gdbus xdotool openssl python3; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  chromium_bin="$(command -v chromium || command -v chromium-browser || command -v google-chrome || true)"
  [ -n "$chromium_bin" ] || missing+=(chromium)
  [ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
  if ((${#missing[@]})); then
    echo "desktop session skipped: missing ${missing[*]} (scripts/bootstrap.sh installs them)" >&2
    exit 77
  fi

  dir="$(mktemp -d /tmp/velmar-desktop.XXXXXX)"
  # Chromium's last helpers can still be writing to its profile while it is
  # removed: try again once, and never let the clean-up decide the status.
  trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$dir" 2>/dev/null || { sleep 1; rm -rf "$dir" 2>/dev/null || true; }' EXIT

  # A free display: Xvfb writes the number it took to the descriptor given.
  exec {dfd}<> <(:)
  Xvfb -displayfd "$dfd" -screen 0 1280x900x24 -nolisten tcp -ac >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  read -r -t 20 -u "$dfd" display || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$display"
  export VELMAR_SESSION_DIR="$dir" VELMAR_CHROMIUM_BIN="$chromium_bin"
  set +e
  dbus-run-session -- "$0" --inside-bus "$@"
  rc=$?
  set -e
  exit $rc
fi
shift

dir="$VELMAR_SESSION_DIR"
cleanup() {
  [ -n "${chromium_pid:-}" ] && kill "$chromium_pid" 2>/dev/null
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null
  [ -n "${chromium_pid:-}" ] && wait "$chromium_pid" 2>/dev/null
  true
}
trap cleanup EXIT

# The accessibility bus comes up by activation; turn the switch on so
# toolkits and browsers expose their trees. VELMAR_A11Y_LATE=1 turns it on
# only once the browser runs, and lets the browser decide for itself, as
# when a user turns accessibility on with the browser already open.
a11y_switch() {
  gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
    --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled "<$1>" >/dev/null
}
renderer_a11y=--force-renderer-accessibility
if [ "${VELMAR_A11Y_LATE:-0}" = 1 ]; then
  a11y_switch false
  renderer_a11y=
else
  a11y_switch true
  export ACCESSIBILITY_ENABLED=1 NO_AT_BRIDGE=0
fi

# A throwaway certificate for every chat host.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=velmar-test" \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" \
  -addext "subjectAltName=DNS:chatgpt.com,DNS:claude.ai,DNS:gemini.google.com,DNS:www.perplexity.ai,DNS:chat.deepseek.com,DNS:docs.google.com" \
  >/dev/null 2>&1

python3 "$here/chat-pages/serve.py" --cert "$dir/cert.pem" --key "$dir/key.pem" --port-file "$dir/port" \
  >"$dir/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$dir/port" ] && break; sleep 0.1; done
[ -s "$dir/port" ] || { echo "chat page server did not start" >&2; cat "$dir/server.log" >&2; exit 1; }
port="$(cat "$dir/port")"
export VELMAR_PAGES_PORT="$port"

"$VELMAR_CHROMIUM_BIN" $renderer_a11y --no-sandbox --disable-gpu --no-first-run \
  --no-default-browser-check --disable-background-networking --disable-component-update --disable-sync \
  --disable-features=Translate,MediaRouter --password-store=basic \
  --user-data-dir="$dir/profile" --window-position=0,0 --window-size=1280,900 \
  --host-resolver-rules="MAP * 127.0.0.1:$port" --ignore-certificate-errors \
  about:blank >"$dir/chromium.log" 2>&1 &
chromium_pid=$!
export VELMAR_CHROMIUM_PID="$chromium_pid"

window=""
for _ in $(seq 300); do
  window="$(xdotool search --sync --onlyvisible --pid "$chromium_pid" --class chromium 2>/dev/null | tail -1 || true)"
  [ -n "$window" ] && break
  window="$(xdotool search --onlyvisible --class chromium 2>/dev/null | tail -1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "Chromium showed no window" >&2; tail -20 "$dir/chromium.log" >&2; exit 1; }
export VELMAR_CHROMIUM_WINDOW="$window"
if [ "${VELMAR_A11Y_LATE:-0}" = 1 ]; then
  a11y_switch true
  export ACCESSIBILITY_ENABLED=1 NO_AT_BRIDGE=0
fi
export VELMAR_DESKTOP_SESSION=1

set +e
"$@"
rc=$?
set -e
exit $rc
