#!/usr/bin/env bash
# Builds the agent and runs it with the bundled local core: on this desktop
# when there is one; otherwise a short demonstration in a private headless
# desktop (scripts/demo.sh) that ends by printing the captured turn.
#
# VELMAR_RUN_SKIP_BUILD=1 uses the agent already in build/ (VELMAR_BUILD_DIR
# to name another build folder) without installing or building anything.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${VELMAR_BUILD_DIR:-$root/build}"
say() { echo "[run] $*"; }

# Runs a set-up step with its output in the log and names the log when it
# fails. The step runs in the foreground (Ctrl+C stops it; a sudo password
# prompt reaches the terminal) while a ticker says every 20 s that it goes on.
ticker=""
trap '[ -z "$ticker" ] || kill "$ticker" 2>/dev/null' EXIT
step() {
  local what="$1"
  shift
  say "$what"
  echo "=== $what: $*" >>"$log"
  (
    elapsed=0
    while sleep 20; do
      kill -0 "$$" 2>/dev/null || exit 0
      elapsed=$((elapsed + 20))
      share="$(grep -o '^\[ *[0-9]*%\]' "$log" | tail -1 | tr -d '[] ' || true)"
      say "  ...still working (${elapsed} s${share:+, $share built})"
    done
  ) &
  ticker=$!
  local status=0
  "$@" >>"$log" 2>&1 || status=$?
  kill "$ticker" 2>/dev/null || true
  wait "$ticker" 2>/dev/null || true
  ticker=""
  if [ "$status" -ne 0 ]; then
    say "failed: $what; the end of its log ($log):" >&2
    tail -25 "$log" >&2
    exit 1
  fi
}

if [ "${VELMAR_RUN_SKIP_BUILD:-}" != "1" ]; then
  mkdir -p "$build"
  log="$build/run-setup.log"
  : >"$log"
  step "checking the Debian packages the build needs (missing ones are installed; the first time this takes a few minutes)" \
    bash scripts/bootstrap.sh
  step "configuring the build in $build" cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  step "building the agent (the first build takes several minutes; log: $log)" \
    cmake --build "$build" -j2 --target velmar-desktop-agent
fi

# A desktop session: a display and the session bus its services live on.
has_bus() {
  [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/bus" ]
}
if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && has_bus; then
  say "starting the Velmar desktop agent with its local core (turns go to \${XDG_DATA_HOME:-~/.local/share}/velmar/turns.jsonl); stop it with Ctrl+C"
  exec "$build/velmar-desktop-agent" "$@"
fi

say "no desktop session here (no DISPLAY or WAYLAND_DISPLAY with a session bus): running a short demonstration in a private headless desktop instead"
VELMAR_BUILD_DIR="$build" exec bash scripts/demo.sh
