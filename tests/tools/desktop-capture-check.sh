#!/usr/bin/env bash
# The developer verbs end to end, inside the private desktop that
# tests/support/desktop-session.sh starts (one browser for the whole run):
#   1. the agent starts beside the browser, with the bundled local core;
#   2. capture-check --send opens every manifest entry in a new window, checks
#      probes and parse, types the ping prompt, waits for the streamed reply,
#      closes the window and writes its report;
#   3. the local core stored exactly one turn per sent prompt, with the
#      prompt, reply, surface, conversation key, browser and ordinal;
#   4. with the pages that lack markers open, ax-check fails exactly those
#      probes (exit 1); ax-record records them and the fixtures pass
#      velmar-fixture-check. (ax-check over all pages at once does not yet list
#      every open window; see the README.)
#
#   desktop-session.sh desktop-capture-check.sh BUILD_DIR MANIFEST
set -uo pipefail

build="$1"
manifest="$2"
# Markers the local pages do not carry (their recorded trees lack them): these
# probes fail there and nothing else may.
known_gaps=("perplexity|feedback pair 'Helpful' / 'Not helpful'"
            "perplexity|'Model' picker label (Free tier reads the literal)"
            "deepseek|composer ('.ds-scroll-area' text area)")
working="chatgpt,claude_ai,gemini,gemini_docs,gemini_sheets"
agent="$build/velmar-desktop-agent"
work="$VELMAR_SESSION_DIR/capture-check"
mkdir -p "$work/run" "$work/data" "$work/state" "$work/config" "$work/cache"
chmod 700 "$work/run"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "== $* ($(date +%T))"; }

# The agent captures in the same desktop, its files kept apart from the tools'.
step "starting the agent with the local core"
env HOME="$work" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" VELMAR_CAPTURE_DEBUG=0 \
    "$agent" >"$work/agent.log" 2>&1 &
agent_pid=$!
trap 'kill "$agent_pid" 2>/dev/null; wait "$agent_pid" 2>/dev/null' EXIT
store="$work/data/velmar/turns.jsonl"
for _ in $(seq 300); do [ -e "$store" ] && break; sleep 0.1; done
[ -e "$store" ] || { fail "the local core never created its store"; tail -20 "$work/agent.log" >&2; exit 1; }
sleep 2  # the agent attaches to the running browser once trusted

step "capture-check --send"
"$agent" capture-check --manifest "$manifest" --out "$work/report.json" --send --close 1 | tee "$work/send.log"
status=${PIPESTATUS[0]}
[ "$status" -le 1 ] || fail "capture-check --send exited $status"
sleep 3  # the agent's settle delay after the last reply

step "the local core's store"
python3 - "$manifest" "$work/report.json" "$store" "${known_gaps[@]}" <<'PY' || failures=$((failures + 1))
import json, sys
gaps = {}
for g in sys.argv[4:]:
    surface, name = g.split("|", 1)
    gaps.setdefault(surface, set()).add(name)
manifest = json.load(open(sys.argv[1]))
report = json.load(open(sys.argv[2]))
turns = [json.loads(l) for l in open(sys.argv[3]) if l.strip()]
reply = ("Here is a short answer that streams word by word, so a reader sees it grow for a few seconds "
         "and then settle.")
sent = [e for e in report["entries"] if e.get("send", {}).get("ok")]
bad = []
for e in report["entries"]:
    failing = {p["name"] for p in e.get("probes", []) if not p["ok"]}
    if failing != gaps.get(e["surface"], set()):
        bad.append(f'{e["id"]}: failing probes {sorted(failing)}')
    if e["status"] != "PASS" and not (failing and e.get("reason", "").startswith("probe: ")):
        bad.append(f'{e["id"]}: {e["status"]} {e.get("reason", "")}')
if len(sent) != len(manifest["entries"]):
    bad.append(f"{len(sent)} of {len(manifest['entries'])} sends succeeded")
if len(turns) != len(sent):
    bad.append(f"{len(turns)} turns stored for {len(sent)} sent prompts")
for e in sent:
    mine = [t for t in turns if t["surface"] == e["surface"]]
    if len(mine) != 1:
        bad.append(f'{e["id"]}: {len(mine)} stored turns')
        continue
    t = mine[0]
    want = {"prompt": manifest["sendPrompt"], "response": reply, "conversation_key": e["conversationKey"],
            "browser": "chromium", "turn_index": e["send"]["turnsAfter"]}
    for k, v in want.items():
        if t.get(k) != v:
            bad.append(f'{e["id"]}: {k} is {t.get(k)!r}, expected {v!r}')
for line in bad:
    print("FAIL:", line, file=sys.stderr)
print(f"{len(turns)} turns stored for {len(sent)} sent prompts")
sys.exit(1 if bad else 0)
PY

# Hides every browser window but the first (the session's own).
close_windows() {
  for w in $(xdotool search --onlyvisible --class chromium 2>/dev/null); do
    [ "$w" = "$VELMAR_CHROMIUM_WINDOW" ] && continue
    # Hidden is as good as closed here: a window not shown has no pages to check.
    xdotool windowunmap --sync "$w" 2>/dev/null
  done
  sleep 1
}
record() {
  step "ax-record $1"
  "$agent" ax-record --surface "$1" --scenario e2e --browser chromium --out "$work/fixtures" || fail "ax-record $1"
}

step "the pages lacking markers open: exactly those probes fail"
close_windows
"$agent" capture-check --manifest "$manifest" --surfaces perplexity,deepseek --out "$work/open2.json" --close 0 \
  >"$work/open2.log" 2>&1
"$agent" ax-check >"$work/check-gaps.log" 2>&1
status=$?
cat "$work/check-gaps.log"
[ "$status" -eq 1 ] || fail "ax-check exited $status with the known gaps open (expected 1)"
python3 - "$work/check-gaps.log" "${known_gaps[@]}" <<'PY' || failures=$((failures + 1))
import sys
fails, surface = set(), None
for line in open(sys.argv[1]):
    if line.startswith("── "):
        surface = line[3:].split(" ")[0]
    elif line.startswith("  FAIL  "):
        fails.add(f"{surface}|{line[8:].rstrip()}")
if fails != set(sys.argv[2:]):
    print("FAIL: failing probes", sorted(fails), "expected", sorted(sys.argv[2:]), file=sys.stderr)
    sys.exit(1)
PY
record perplexity
record deepseek

"$build/velmar-fixture-check" "$work/fixtures" || fail "the recorded fixtures do not pass velmar-fixture-check"

kill "$agent_pid" 2>/dev/null
wait "$agent_pid" 2>/dev/null
if [ "$failures" -ne 0 ]; then
  echo "--- agent log (tail)" >&2
  tail -30 "$work/agent.log" >&2
  exit 1
fi
echo "desktop capture check passed"
