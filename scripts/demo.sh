#!/usr/bin/env bash
# A short demonstration of the agent where there is no desktop: a private
# headless one (tests/support/desktop-session.sh) with Chromium on a local chat
# page; the agent, started after the browser with the bundled local core and
# its folders in a temporary directory, captures a prompt typed there and its
# streamed reply, and the turn the local core stored is printed.
#
#   demo.sh            uses build/velmar-desktop-agent (VELMAR_BUILD_DIR to change)
#
# Exits 0 when a turn was stored, 1 when none arrived in time (the logs are
# then kept and named), 77 when the private desktop cannot start here.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
say() { echo "[demo] $*"; }

if [ "${1:-}" != "--inside" ]; then
  build="${VELMAR_BUILD_DIR:-$root/build}"
  agent="$build/velmar-desktop-agent"
  if [ ! -x "$agent" ]; then
    say "no agent at $agent: build it first (bash scripts/run.sh builds it)" >&2
    exit 1
  fi
  work="$(mktemp -d /tmp/velmar-demo.XXXXXX)"
  say "starting a private headless desktop: virtual display, session bus, accessibility bus, local chat pages, Chromium"
  # The desktop's own services talk on both outputs: that goes to a log, and
  # the demonstration writes to the descriptor it is handed.
  exec {reader}>&1
  set +e
  VELMAR_DEMO_WORK="$work" VELMAR_DEMO_AGENT="$agent" VELMAR_DEMO_OUT="$reader" \
    bash "$root/tests/support/desktop-session.sh" bash "$root/scripts/demo.sh" --inside >"$work/session.log" 2>&1
  rc=$?
  set -e
  if [ "$rc" -eq 0 ]; then
    rm -rf "$work"
  elif [ "$rc" -eq 77 ]; then
    grep -m1 "skipped" "$work/session.log" >&2 || true
    say "the private desktop could not start here (scripts/bootstrap.sh installs what it needs)" >&2
    rm -rf "$work"
  else
    tail -5 "$work/session.log" | sed 's/^/  /' >&2
    say "the demonstration failed; its logs are kept in $work (agent.log, session.log, the agent's folders under xdg/)" >&2
  fi
  exit "$rc"
fi

# Inside the private desktop: what the reader sees goes to the descriptor
# handed down; the session's log keeps the rest.
exec >&"$VELMAR_DEMO_OUT"
work="$VELMAR_DEMO_WORK"
agent="$VELMAR_DEMO_AGENT"
wait_limit="${VELMAR_DEMO_TIMEOUT:-60}"
prompt="What is a good name for a hedgehog who writes poems?"

url="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["chatgpt"])' "$VELMAR_SESSION_DIR/pages.json")"
open_page() {
  xdotool windowactivate --sync "$VELMAR_CHROMIUM_WINDOW" >/dev/null 2>&1 || xdotool windowfocus --sync "$VELMAR_CHROMIUM_WINDOW"
  xdotool key --clearmodifiers ctrl+l
  # Delete drops the address bar's inline completion, so Return loads what was typed.
  xdotool type --delay 2 "$url"
  xdotool key Delete Return
}
page_ready() { /usr/bin/python3 "$root/scripts/demo-composer.py" "$VELMAR_CHROMIUM_PID" "$url" "$1"; }

say "opening the local ChatGPT page in Chromium ($url, served from this machine)"
open_page
if ! page_ready 10; then
  open_page  # keys typed while the browser was still starting can be lost
  page_ready 20 || { say "the chat page did not load in Chromium"; exit 1; }
fi

# The agent with everything of its own in the work folder.
xdg="$work/xdg"
mkdir -p "$xdg/data" "$xdg/config" "$xdg/state" "$xdg/cache" "$xdg/runtime"
chmod 700 "$xdg/runtime"
store="$xdg/data/velmar/turns.jsonl"
say "starting the agent with its local core (its folders in $xdg)"
HOME="$work" XDG_DATA_HOME="$xdg/data" XDG_CONFIG_HOME="$xdg/config" XDG_STATE_HOME="$xdg/state" \
  XDG_CACHE_HOME="$xdg/cache" XDG_RUNTIME_DIR="$xdg/runtime" VELMAR_CAPTURE_DEBUG=1 \
  "$agent" >"$work/agent.log" 2>&1 &
agent_pid=$!
stop_agent() {
  kill -TERM "$agent_pid" 2>/dev/null || return 0
  for _ in $(seq 100); do kill -0 "$agent_pid" 2>/dev/null || break; sleep 0.1; done
  wait "$agent_pid" 2>/dev/null || true
}
trap stop_agent EXIT

# The agent attaches to the browser while it launches, before its core can
# say it is ready; its browser controller then reads the page once (the
# conversation so far, which it does not send). Typing starts after that read.
ready=0
for _ in $(seq 300); do
  if ! kill -0 "$agent_pid" 2>/dev/null; then
    say "the agent exited while starting; the end of its log:"
    tail -20 "$work/agent.log"
    exit 1
  fi
  if [ "$ready" -eq 0 ] && grep -q "local core ready" "$work/agent.log"; then ready=1; fi
  if [ "$ready" -eq 1 ] && grep -q "^\[capture-debug\] surface=chatgpt" "$work/agent.log"; then break; fi
  sleep 0.1
done
if [ "$ready" -ne 1 ]; then
  say "the agent's core did not start; the end of its log:"
  tail -20 "$work/agent.log"
  exit 1
fi
grep -q "^\[capture-debug\] surface=chatgpt" "$work/agent.log" || say "the agent has not reported reading the page yet; typing anyway"

say "typing a prompt into the page: \"$prompt\""
open_page_focus() {
  xdotool windowactivate --sync "$VELMAR_CHROMIUM_WINDOW" >/dev/null 2>&1 || true
  page_ready 10
}
open_page_focus || { say "could not focus the page's composer"; exit 1; }
xdotool type --delay 15 "$prompt"
xdotool key Return

say "waiting for the streamed reply and for the agent to hand the turn to its core (up to ${wait_limit} s)"
deadline=$((SECONDS + wait_limit))
while [ "$SECONDS" -lt "$deadline" ]; do
  [ -s "$store" ] && break
  if ! kill -0 "$agent_pid" 2>/dev/null; then break; fi
  sleep 0.2
done
if [ ! -s "$store" ]; then
  say "no turn arrived within ${wait_limit} s; the end of the agent's log ($work/agent.log):"
  tail -20 "$work/agent.log"
  exit 1
fi

say "the local core stored this turn ($store):"
head -1 "$store"
python3 - "$store" <<'EOF'
import json, sys
turn = json.loads(open(sys.argv[1], encoding="utf-8").readline())
for key in ("surface", "browser", "conversation_key", "turn_index", "prompt", "response"):
    if key in turn:
        print(f"[demo]   {key}: {turn[key]}")
EOF
stop_agent
trap - EXIT
say "done: the agent captured the exchange typed into Chromium and stopped in order"
