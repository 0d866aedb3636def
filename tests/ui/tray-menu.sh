#!/usr/bin/env bash
# With a tray host on the desktop, the agent shows its icon in the tray (not
# the status window) and a click opens its menu there. Run inside the private
# desktop with a tray host (ctest's "ui_tray_menu"); saves what a person sees
# to BUILD/screenshots/tray-menu.png. With --late the tray host comes only
# after the agent stands in with its status window (a panel that starts after
# the agent at login): the icon must reach the tray all the same
# (tray-menu-late.png).
#
#   VELMAR_TRAY_HOST=1 private-desktop.sh tray-menu.sh BUILD_DIR
#   private-desktop.sh tray-menu.sh BUILD_DIR --late
set -uo pipefail
build="$1"
late="${2:-}"
shot="$build/screenshots/tray-menu${late:+-late}.png"
for tool in xfce4-panel xdotool import; do
  command -v "$tool" >/dev/null || { echo "tray menu skipped: $tool is not installed (scripts/bootstrap.sh)" >&2; exit 77; }
done
work="$(mktemp -d /tmp/velmar-tray.XXXXXX)"
trap 'kill "${agent:-}" ${panel:-} 2>/dev/null; wait "${agent:-}" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/run" "$build/screenshots" && chmod 700 "$work/run"
env HOME="$work" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
  "$build/velmar-desktop-agent" --background >"$work/agent.log" 2>&1 &
agent=$!
if [ -n "$late" ]; then
  for _ in $(seq 100); do grep -q "status window stands in" "$work/agent.log" && break; sleep 0.1; done
  grep -q "status window stands in" "$work/agent.log" ||
    { echo "FAIL: with no tray host the agent did not stand in with its window" >&2; cat "$work/agent.log" >&2; exit 1; }
  panel="$(bash "$(dirname "$0")/../support/tray-panel.sh")" || exit 1
fi

# The icon is registered with the tray's watcher, then drawn in the panel.
registered=""
for _ in $(seq 100); do
  registered="$(dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
    string:RegisteredStatusNotifierItems 2>/dev/null | grep -c 'string "')"
  [ "${registered:-0}" -ge 1 ] && break
  sleep 0.1
done
[ "${registered:-0}" -ge 1 ] || { echo "FAIL: no status item registered with the tray" >&2; cat "$work/agent.log" >&2; exit 1; }
if [ -z "$late" ] && grep -q "status window stands in" "$work/agent.log"; then
  echo "FAIL: a tray host runs, yet the agent chose the status window" >&2; exit 1
fi
if [ -n "$late" ] && ! grep -q "a status tray appeared" "$work/agent.log"; then
  echo "FAIL: the icon registered, but the agent did not say the tray took over" >&2; exit 1
fi
sleep 1

# The tray sits at the panel's right end: click the icon there.
width="$(xdotool getdisplaygeometry | cut -d' ' -f1)"
xdotool mousemove $((width - 12)) 14 click 1
# The menu is a popup window below the icon, taller than the panel.
menu=""
for _ in $(seq 50); do
  for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    unset X Y HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null | grep -E '^(X|Y|HEIGHT)=')"
    x="${X:-0}" y="${Y:-999}" h="${HEIGHT:-0}"
    [ "${h:-0}" -gt 100 ] && [ "${y:-999}" -lt 60 ] && [ "${x:-0}" -gt $((width / 2)) ] && menu="$w"
  done
  [ -n "$menu" ] && break
  sleep 0.1
done
sleep 0.5
import -window root "$shot"
[ -n "$menu" ] || { echo "FAIL: the click opened no menu below the icon" >&2; exit 1; }
echo "tray menu shown; screenshot in $shot"
