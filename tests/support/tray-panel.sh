#!/usr/bin/env bash
# Starts a panel whose status tray hosts StatusNotifier items (as KDE's and
# XFCE's do), its configuration private to the calling desktop, and returns
# once the tray's watcher holds its name on the session bus. Prints the
# panel's process id.
set -euo pipefail
conf="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
mkdir -p "$conf"
cp "$(dirname "$0")/tray-panel.xml" "$conf/xfce4-panel.xml"
xfce4-panel --disable-wm-check >"$XDG_CACHE_HOME/panel.log" 2>&1 &
echo $!
for _ in $(seq 1 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null | grep -q "boolean true" && exit 0
  sleep 0.1
done
echo "the panel's tray did not come up" >&2
exit 1
