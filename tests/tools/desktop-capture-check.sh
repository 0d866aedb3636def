#!/usr/bin/env bash
# The developer verbs end to end, inside the private desktop that
# tests/support/desktop-session.sh starts (one browser for the whole run):
#   1. the agent starts beside the browser, with the bundled local core;
#   2. capture-check --send opens every manifest entry in a new window, checks
#      probes and parse, types the ping prompt, waits for the streamed reply,
#      closes the window and writes its report;
#   3. the local core stored exactly one turn per sent prompt, with the
#      prompt, reply, surface, conversation key, browser and ordinal;
#   4. with the manifest's pages open (seven at a time, as the agent reads at
#      most eight windows of a browser), ax-check lists each of them and
#      passes every probe (exit 0); ax-record records two of them and the
#      fixtures pass velmar-fixture-check;
#   5. with one page's marker class renamed, exactly the matching probe fails
#      and ax-check exits 1;
#   6. the text of every turn, as ax-turns reads it from the open pages and as
#      the local core stored the typed exchanges, is the text each page states
#      for its bubbles (tests/support/turn-text-check.py, a row per page).
#
#   desktop-session.sh desktop-capture-check.sh BUILD_DIR MANIFEST
set -uo pipefail

build="$1"
manifest="$2"
agent="$build/velmar-desktop-agent"
here="$(cd "$(dirname "$0")" && pwd)"
work="$VELMAR_SESSION_DIR/capture-check"
mkdir -p "$work/run" "$work/data" "$work/state" "$work/config" "$work/cache"
chmod 700 "$work/run"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "== $* ($(date +%T))"; }

# The agent captures in the same desktop, its files kept apart from the tools',
# started as the session starts it (no window of its own takes the focus).
step "starting the agent with the local core"
env HOME="$work" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" VELMAR_CAPTURE_DEBUG=0 \
    "$agent" --background >"$work/agent.log" 2>&1 &
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

# What the open pages state their bubbles read (chat.js posts it to the page server).
stated() { curl -sk --max-time 5 "https://127.0.0.1:$VELMAR_PAGES_PORT/_velmar/stated.json" >"$1" || fail "no page statement"; }
text_check() {
  echo "-- turn text: $1"
  python3 "$here/../support/turn-text-check.py" --stated "$2" "${@:3}" || fail "turn text ($1) differs from the pages'"
}
step "the local core's store"
stated "$work/stated-send.json"
text_check "stored exchanges" "$work/stated-send.json" --stored "$store"
python3 - "$manifest" "$work/report.json" "$store" <<'PY' || failures=$((failures + 1))
import json, sys
manifest = json.load(open(sys.argv[1]))
report = json.load(open(sys.argv[2]))
turns = [json.loads(l) for l in open(sys.argv[3]) if l.strip()]
sent = [e for e in report["entries"] if e.get("send", {}).get("ok")]
bad = []
for e in report["entries"]:
    failing = sorted(p["name"] for p in e.get("probes", []) if not p["ok"])
    if failing or not e.get("probes"):
        bad.append(f'{e["id"]}: failing probes {failing}')
    if e["status"] != "PASS":
        bad.append(f'{e["id"]}: {e["status"]} {e.get("reason", "")}')
to_send = [e for e in manifest["entries"] if e.get("send", True)]
if len(sent) != len(to_send):
    bad.append(f"{len(sent)} of {len(to_send)} sends succeeded")
if len(turns) != len(sent):
    bad.append(f"{len(turns)} turns stored for {len(sent)} sent prompts")
for e in sent:
    mine = [t for t in turns if t["surface"] == e["surface"]]
    if len(mine) != 1:
        bad.append(f'{e["id"]}: {len(mine)} stored turns')
        continue
    t = mine[0]
    # The reply's text is the turn text check's (above).
    want = {"prompt": manifest["sendPrompt"], "conversation_key": e["conversationKey"],
            "browser": "chromium", "turn_index": e["send"]["turnsAfter"]}
    for k, v in want.items():
        if t.get(k) != v:
            bad.append(f'{e["id"]}: {k} is {t.get(k)!r}, expected {v!r}')
for line in bad:
    print("FAIL:", line, file=sys.stderr)
print(f"{len(turns)} turns stored for {len(sent)} sent prompts")
sys.exit(1 if bad else 0)
PY

# Closes every browser window but the session's own, as a person would.
close_windows() {
  for w in $(xdotool search --onlyvisible --class chromium 2>/dev/null); do
    [ "$w" = "$VELMAR_CHROMIUM_WINDOW" ] && continue
    timeout 5 xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+shift+w 2>/dev/null
  done
  for _ in $(seq 50); do
    [ "$(xdotool search --onlyvisible --class chromium 2>/dev/null | wc -l)" -le 1 ] && break
    sleep 0.2
  done
  sleep 1
}
record() {
  step "ax-record $1"
  "$agent" ax-record --surface "$1" --scenario e2e --browser chromium --out "$work/fixtures" || fail "ax-record $1"
}
# The failing probes of an ax-check report (surface|name per line), or the
# surfaces it lists with --surfaces.
report() {
  python3 - "$@" <<'PY'
import sys
what, path = sys.argv[1], sys.argv[2]
fails, surfaces, surface = [], [], None
for line in open(path):
    if line.startswith("── "):
        surface = line[3:].split(" ")[0]
        surfaces.append(surface)
    elif line.startswith("  FAIL  "):
        fails.append(f"{surface}|{line[8:].rstrip()}")
print("\n".join(sorted(surfaces) if what == "--surfaces" else fails))
PY
}

# The agent reads at most eight windows of a browser (the focused one first);
# with the session's own window, seven pages at a time fit.
python3 - "$manifest" "$work" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))
entries = m["entries"]
for n, start in enumerate(range(0, len(entries), 7)):
    json.dump(dict(m, entries=entries[start:start + 7]), open(f"{sys.argv[2]}/group{n}.json", "w"))
PY
for group in "$work"/group*.json; do
  name="$(basename "$group" .json)"
  step "pages of $name open at once: ax-check lists each and passes every probe"
  close_windows
  "$agent" capture-check --manifest "$group" --out "$work/open-$name.json" --close 0 >"$work/open-$name.log" 2>&1 ||
    { fail "capture-check could not open every page of $name"; cat "$work/open-$name.log" >&2; }
  "$agent" ax-check >"$work/check-$name.log" 2>&1
  status=$?
  cat "$work/check-$name.log"
  [ "$status" -eq 0 ] || fail "ax-check exited $status with the pages of $name open (expected 0)"
  want="$(python3 -c 'import json,sys; print("\n".join(sorted(e["surface"] for e in json.load(open(sys.argv[1]))["entries"])))' "$group")"
  got="$(report --surfaces "$work/check-$name.log")"
  [ "$got" = "$want" ] || fail "ax-check listed [$(echo $got)], expected every page once: [$(echo $want)]"
  [ -z "$(report --fails "$work/check-$name.log")" ] || fail "failing probes: $(report --fails "$work/check-$name.log")"
  grep -q "^RESULT: PASS" "$work/check-$name.log" || fail "ax-check did not print RESULT: PASS"
  if grep -aq "ax-turns" "$agent"; then
    step "ax-turns with the pages of $name open"
    "$agent" ax-turns --json >"$work/turns-$name.jsonl" 2>"$work/turns-$name.err"
    status=$?
    [ "$status" -eq 0 ] || { fail "ax-turns exited $status"; cat "$work/turns-$name.err" >&2; }
    stated "$work/stated-$name.json"
    text_check "ax-turns, $name" "$work/stated-$name.json" --read "$work/turns-$name.jsonl" --surfaces "$(echo $want | tr ' ' ,)"
  else
    echo "-- ax-turns is not in this build: its turn text is not checked"
  fi
  for surface in perplexity deepseek; do
    grep -q "\"surface\": \"$surface\"" "$group" && record "$surface"
  done
done
"$build/velmar-fixture-check" "$work/fixtures" || fail "the recorded fixtures do not pass velmar-fixture-check"

step "a renamed marker: its probe fails and ax-check exits 1"
close_windows
# The DeepSeek composer's class renamed, as an app update would (the new name
# must not contain the old one: probes match class tokens as substrings).
python3 - "$manifest" "$work/renamed.json" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))
m["entries"] = [dict(e, id="deepseek-renamed", url=e["url"] + "&rename=ds-scroll-area:ds-scroller")
                for e in m["entries"] if e["surface"] == "deepseek"]
json.dump(m, open(sys.argv[2], "w"))
PY
"$agent" capture-check --manifest "$work/renamed.json" --out "$work/open-renamed.json" --close 0 \
  >"$work/open-renamed.log" 2>&1
"$agent" ax-check >"$work/check-renamed.log" 2>&1
status=$?
cat "$work/check-renamed.log"
[ "$status" -eq 1 ] || fail "ax-check exited $status with a renamed marker (expected 1)"
got="$(report --fails "$work/check-renamed.log")"
[ "$got" = "deepseek|composer ('.ds-scroll-area' text area)" ] || fail "failing probes: [$got], expected only the DeepSeek composer"
grep -q "^RESULT: FAIL" "$work/check-renamed.log" || fail "ax-check did not print RESULT: FAIL"

kill "$agent_pid" 2>/dev/null
wait "$agent_pid" 2>/dev/null
if [ "$failures" -ne 0 ]; then
  echo "--- agent log (tail)" >&2
  tail -30 "$work/agent.log" >&2
  exit 1
fi
echo "desktop capture check passed"
