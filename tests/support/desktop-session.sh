#!/usr/bin/env bash
# Runs a command inside a private desktop: a virtual X display, a private
# D-Bus session with the accessibility bus switched on, a local HTTPS server
# holding the chat pages under the real host names, and Chromium with its
# renderer accessibility on (or, with VELMAR_BROWSER=firefox, Firefox).
# Nothing leaves the machine: every host resolves to the loopback address.
#
#   desktop-session.sh COMMAND [ARGS...]
#   VELMAR_BROWSER=firefox desktop-session.sh COMMAND [ARGS...]
#   VELMAR_BROWSER=brave desktop-session.sh COMMAND [ARGS...]   (or edge, vivaldi, opera)
#   VELMAR_DISPLAY_SERVER=wayland desktop-session.sh COMMAND [ARGS...]
#
# With VELMAR_DISPLAY_SERVER=wayland the browser runs as a Wayland client of
# a private Weston (Chromium on its Wayland platform, Firefox in Wayland
# mode); WAYLAND_DISPLAY is set and the browser's window variable names
# Weston's window, into which keys are typed.
#
# The command sees DISPLAY, the session bus, VELMAR_DESKTOP_SESSION=1,
# VELMAR_CHROMIUM_PID and VELMAR_CHROMIUM_WINDOW (or VELMAR_FIREFOX_PID and
# VELMAR_FIREFOX_WINDOW), VELMAR_BROWSER and VELMAR_SESSION_DIR.
# Exits 77 (skipped) with a reason when a needed program is missing.
set -euo pipefail
[ -z "${VELMAR_SESSION_TRACE:-}" ] || set -x

here="$(cd "$(dirname "$0")" && pwd)"

if [ "${1:-}" != "--inside-bus" ]; then
  missing=()
  for tool in Xvfb dbus-run-session gdbus xdotool openssl python3; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  browser="${VELMAR_BROWSER:-chromium}"
  chromium_bin="" firefox_bin=""
  if [ "$browser" = firefox ]; then
    firefox_bin="$(command -v firefox-esr || command -v firefox || true)"
    [ -n "$firefox_bin" ] || missing+=(firefox-esr)
    command -v certutil >/dev/null || missing+=(libnss3-tools)
  else
    chromium_bin="$(command -v chromium || command -v chromium-browser || command -v google-chrome || true)"
    [ -n "$chromium_bin" ] || missing+=(chromium)
  fi
  # Another browser of Chromium's family (VELMAR_BROWSER=brave, edge, vivaldi,
  # opera) is Debian's Chromium under that browser's executable name: the
  # agent knows a browser by its executable, so it takes it for that one.
  family_exe=""
  case "$browser" in
    brave) family_exe=brave ;;
    edge) family_exe=msedge ;;
    vivaldi) family_exe=vivaldi-bin ;;
    opera) family_exe=opera ;;
  esac
  chromium_real=""
  if [ -n "$family_exe" ]; then
    chromium_real="$(readlink -f /usr/lib/chromium/chromium 2>/dev/null || true)"
    [ -x "$chromium_real" ] || missing+=(chromium)
  fi
  [ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
  wayland="${VELMAR_DISPLAY_SERVER:-x11}"
  [ "$wayland" != wayland ] || command -v weston >/dev/null || missing+=(weston)
  if ((${#missing[@]})); then
    echo "desktop session skipped: missing ${missing[*]} (scripts/bootstrap.sh installs them)" >&2
    exit 77
  fi

  dir="$(mktemp -d /tmp/velmar-desktop.XXXXXX)"
  # Chromium's last helpers can still be writing to its profile while it is
  # removed: try again once, and never let the clean-up decide the status.
  trap 'kill "${weston_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$dir" 2>/dev/null || { sleep 1; rm -rf "$dir" 2>/dev/null || true; }' EXIT

  . "$here/xvfb.sh"
  start_xvfb "$dir" 1280x900x24 || exit 1
  export DISPLAY=":$display"
  if [ "$wayland" = wayland ]; then
    # Weston on its X11 backend: the headless backend has no seat, so no
    # window would ever be activated or take typed keys. Keys typed into
    # Weston's window (xdotool on DISPLAY) reach the focused Wayland window.
    export XDG_RUNTIME_DIR="$dir/run"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    weston --backend=x11-backend.so --socket=wayland-velmar --width=1280 --height=900 --idle-time=0 \
      >"$dir/weston.log" 2>&1 &
    weston_pid=$!
    for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/wayland-velmar" ] && break; sleep 0.1; done
    [ -S "$XDG_RUNTIME_DIR/wayland-velmar" ] || { echo "Weston did not start" >&2; cat "$dir/weston.log" >&2; exit 1; }
    export WAYLAND_DISPLAY=wayland-velmar
  fi
  if [ -n "$family_exe" ]; then
    # Its own folder: Chromium finds its resources beside its executable.
    mkdir "$dir/$browser"
    for f in "$(dirname "$chromium_real")"/*; do ln -s "$f" "$dir/$browser/"; done
    rm "$dir/$browser/$(basename "$chromium_real")"
    ln "$chromium_real" "$dir/$browser/$family_exe" 2>/dev/null || cp "$chromium_real" "$dir/$browser/$family_exe"
    chromium_bin="$dir/$browser/$family_exe"
  fi
  export VELMAR_SESSION_DIR="$dir" VELMAR_BROWSER="$browser" VELMAR_CHROMIUM_BIN="$chromium_bin" \
    VELMAR_FIREFOX_BIN="$firefox_bin"
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
  [ -n "${firefox_pid:-}" ] && kill "$firefox_pid" 2>/dev/null
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null
  [ -n "${proxy_pid:-}" ] && kill "$proxy_pid" 2>/dev/null
  [ -n "${chromium_pid:-}" ] && wait "$chromium_pid" 2>/dev/null
  # Firefox ends on the signal itself: its status is no verdict on the run.
  [ -n "${firefox_pid:-}" ] && { wait "$firefox_pid" 2>/dev/null || true; }
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
# In the Wayland desktop the browser's window lives inside Weston's X
# window: that is the window keys are typed into. It is ready once the
# browser itself is on the accessibility bus: other programs of the session
# (a desktop portal, say) may join it first.
weston_window() {
  local pid="$1" address name owner joined=0
  address="$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method org.a11y.Bus.GetAddress |
    sed "s/^('\(.*\)',)$/\1/")"
  for _ in $(seq 300); do
    for name in $(gdbus call --address "$address" --dest org.a11y.atspi.Registry \
      --object-path /org/a11y/atspi/accessible/root --method org.a11y.atspi.Accessible.GetChildren 2>/dev/null |
      grep -o "':[0-9.]*'" | tr -d "'"); do
      owner="$(gdbus call --address "$address" --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" 2>/dev/null | grep -o '[0-9]\+' | tail -1)"
      [ "$owner" = "$pid" ] && joined=1 && break 2
    done
    sleep 0.1
  done
  [ "$joined" = 1 ] || echo "the browser (process $pid) never joined the accessibility bus" >&2
  sleep 1  # its first window maps just after it joins the bus
  xdotool search --class 'Weston Compositor' 2>/dev/null | tail -1 || true
}
renderer_a11y=--force-renderer-accessibility
if [ "${VELMAR_A11Y_LATE:-0}" = 1 ]; then
  a11y_switch false
  renderer_a11y=
else
  a11y_switch true
  export ACCESSIBILITY_ENABLED=1 NO_AT_BRIDGE=0
fi

# A throwaway authority and its certificate for every chat host. Chromium
# ignores certificate errors; Firefox trusts the authority (it refuses an
# authority's certificate as a server's own, hence two).
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=velmar-test-ca" \
  -keyout "$dir/ca-key.pem" -out "$dir/ca.pem" >/dev/null 2>&1
openssl req -newkey rsa:2048 -nodes -subj "/CN=velmar-test" -keyout "$dir/key.pem" -out "$dir/cert.csr" \
  >/dev/null 2>&1
printf 'subjectAltName=DNS:chatgpt.com,DNS:claude.ai,DNS:gemini.google.com,DNS:www.perplexity.ai,DNS:chat.deepseek.com,DNS:docs.google.com\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
  >"$dir/cert.ext"
openssl x509 -req -in "$dir/cert.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca-key.pem" -CAcreateserial -days 2 \
  -extfile "$dir/cert.ext" -out "$dir/cert.pem" >/dev/null 2>&1

python3 "$here/chat-pages/serve.py" --cert "$dir/cert.pem" --key "$dir/key.pem" --port-file "$dir/port" \
  >"$dir/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$dir/port" ] && break; sleep 0.1; done
[ -s "$dir/port" ] || { echo "chat page server did not start" >&2; cat "$dir/server.log" >&2; exit 1; }
port="$(cat "$dir/port")"
export VELMAR_PAGES_PORT="$port"

if [ "$VELMAR_BROWSER" = firefox ]; then
  # Firefox has no host-resolver switch, but takes a proxy from its
  # preferences: every address goes through a CONNECT proxy that tunnels to
  # the page server, so a page loads under its real host and port 443 and its
  # TLS still names that host.
  python3 "$here/connect-proxy.py" --target "$port" --port-file "$dir/proxy-port" >"$dir/proxy.log" 2>&1 &
  proxy_pid=$!
  for _ in $(seq 100); do [ -s "$dir/proxy-port" ] && break; sleep 0.1; done
  [ -s "$dir/proxy-port" ] || { echo "proxy did not start" >&2; cat "$dir/proxy.log" >&2; exit 1; }
  proxy_port="$(cat "$dir/proxy-port")"
  profile="$dir/firefox-profile"
  mkdir -p "$profile"
  certutil -N -d "sql:$profile" --empty-password
  certutil -A -d "sql:$profile" -n velmar-test-ca -t "C,," -i "$dir/ca.pem"
  # Accessibility on, no first-run pages, updates, telemetry or suggestions.
  cat >"$profile/user.js" <<EOF
user_pref("accessibility.force_disabled", -1);
user_pref("network.proxy.type", 1);
user_pref("network.proxy.ssl", "127.0.0.1");
user_pref("network.proxy.ssl_port", $proxy_port);
user_pref("network.proxy.http", "127.0.0.1");
user_pref("network.proxy.http_port", $proxy_port);
user_pref("network.proxy.no_proxies_on", "");
user_pref("network.proxy.allow_hijacking_localhost", true);
user_pref("network.dns.disablePrefetch", true);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.startup.page", 0);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("startup.homepage_welcome_url", "");
user_pref("startup.homepage_welcome_url.additional", "");
user_pref("browser.newtabpage.enabled", false);
user_pref("browser.tabs.warnOnClose", false);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("browser.urlbar.autoFill", false);
user_pref("browser.urlbar.suggest.searches", false);
user_pref("browser.search.suggest.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("browser.safebrowsing.downloads.enabled", false);
user_pref("app.update.auto", false);
user_pref("app.normandy.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("security.OCSP.enabled", 0);
user_pref("toolkit.startup.max_resumed_crashes", -1);
EOF
  moz_wayland=0
  [ -z "${WAYLAND_DISPLAY:-}" ] || moz_wayland=1
  MOZ_ENABLE_WAYLAND=$moz_wayland GNOME_ACCESSIBILITY=1 MOZ_CRASHREPORTER_DISABLE=1 "$VELMAR_FIREFOX_BIN" --profile "$profile" \
    --width 1280 --height 900 about:blank >"$dir/firefox.log" 2>&1 &
  firefox_pid=$!
  export VELMAR_FIREFOX_PID="$firefox_pid"
  window=""
  [ -z "${WAYLAND_DISPLAY:-}" ] || window="$(weston_window "$firefox_pid")"
  for _ in $(seq 300); do
    [ -n "$window" ] && break
    window="$(xdotool search --onlyvisible --pid "$firefox_pid" 2>/dev/null | tail -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "Firefox showed no window" >&2; tail -20 "$dir/firefox.log" >&2; exit 1; }
  export VELMAR_FIREFOX_WINDOW="$window"
else
  ozone=--ozone-platform=x11
  [ -z "${WAYLAND_DISPLAY:-}" ] || ozone=--ozone-platform=wayland
  "$VELMAR_CHROMIUM_BIN" $renderer_a11y $ozone --no-sandbox --disable-gpu --no-first-run \
    --no-default-browser-check --disable-background-networking --disable-component-update --disable-sync \
    --disable-features=Translate,MediaRouter --password-store=basic \
    --user-data-dir="$dir/profile" --window-position=0,0 --window-size=1280,900 \
    --host-resolver-rules="MAP * 127.0.0.1:$port" --ignore-certificate-errors \
    about:blank >"$dir/chromium.log" 2>&1 &
  chromium_pid=$!
  export VELMAR_CHROMIUM_PID="$chromium_pid"

  window=""
  [ -z "${WAYLAND_DISPLAY:-}" ] || window="$(weston_window "$chromium_pid")"
  for _ in $(seq 300); do
    [ -n "$window" ] && break
    window="$(xdotool search --sync --onlyvisible --pid "$chromium_pid" --class chromium 2>/dev/null | tail -1 || true)"
    [ -n "$window" ] && break
    window="$(xdotool search --onlyvisible --class chromium 2>/dev/null | tail -1 || true)"
    [ -n "$window" ] && break
    window="$(xdotool search --onlyvisible --pid "$chromium_pid" 2>/dev/null | tail -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "Chromium showed no window" >&2; tail -20 "$dir/chromium.log" >&2; exit 1; }
  export VELMAR_CHROMIUM_WINDOW="$window"
fi
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
