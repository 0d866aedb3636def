#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
# With --sanitize, also clang with its sanitizer and libFuzzer runtimes.
set -euo pipefail
packages=(build-essential cmake pkg-config ccache libicu-dev nlohmann-json3-dev liburiparser-dev
          libcli11-dev libglib2.0-dev uuid-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
          libatspi2.0-dev at-spi2-core dbus dbus-x11 xvfb x11-apps xdotool chromium openssl python3
          libgtk-3-dev libwebkit2gtk-4.1-dev libsecret-1-dev libayatana-appindicator3-dev gnome-keyring nodejs
          libxtst-dev libx11-dev libxss-dev libxcb1-dev python3-gi gir1.2-atspi-2.0 dpkg-dev file lintian libxxhash-dev
          firefox-esr libnss3-tools)
# The private Wayland desktop of the tests: Weston.
packages+=(weston)
# A tray host for the tray's own test, and screenshots of the whole screen.
packages+=(xfce4-panel imagemagick)
if [ "${1:-}" = "--sanitize" ]; then
  packages+=(clang libclang-rt-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
