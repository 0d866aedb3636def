#!/usr/bin/env bash
# The README's first command on a machine without a desktop, on an existing
# build: scripts/run.sh must say in one line that there is no desktop, run the
# headless demonstration and print the turn the local core stored for the
# prompt typed into Chromium.
#
#   run-demo.sh SOURCE_DIR BUILD_DIR
set -uo pipefail

source="$1"
build="$2"
out="$(mktemp /tmp/velmar-run-demo.XXXXXX)"
trap 'rm -f "$out"' EXIT

env -u DISPLAY -u WAYLAND_DISPLAY VELMAR_RUN_SKIP_BUILD=1 VELMAR_BUILD_DIR="$build" \
  bash "$source/scripts/run.sh" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
[ "$status" -eq 77 ] && exit 77

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
[ "$status" -eq 0 ] || fail "scripts/run.sh exited with $status"
[ "$(grep -c '^\[run\] no desktop session here' "$out")" -eq 1 ] || fail "not one line saying there is no desktop"
grep -q '^\[run\] \(checking\|configuring\|building\)' "$out" && fail "it installed or built although told not to"
for step in "starting a private headless desktop" "opening the local ChatGPT page" "starting the agent" \
            "typing a prompt" "waiting for the streamed reply" "the local core stored this turn"; do
  grep -q "^\[demo\] $step" "$out" || fail "no progress line \"$step\""
done

# The stored turn: the line after the announcement, a JSON object.
turn="$(sed -n '/^\[demo\] the local core stored this turn/{n;p;q}' "$out")"
python3 - "$turn" <<'EOF' || failures=$((failures + 1))
import json, sys
# The ChatGPT page's streamed reply, as the page states a person reads it.
reply = ("Here is a short answer that streams in pieces, with code, a link and emphasis.\n- First point\n"
         "- Second point with a nested list:\n  3. third of its kind\n  4. fourth, with x = 1\n"
         "[x] Write the script\n[ ] Run it on real data\npython\nimport math\n\n\ndef area(r):\n"
         "    # a circle\n    return math.pi * r ** 2\n\nprint(\"Hello, World!\")\nprint(area(2))\n"
         "Input | Output\nr = 1 | 3.14\nr = 2 | 12.57\nE=mc2\nA picture without a caption: [image] and that is all.")
try:
    turn = json.loads(sys.argv[1])
except ValueError:
    sys.exit("FAIL: the printed turn is not JSON: %r" % sys.argv[1])
expected = {
    "surface": "chatgpt",
    "browser": "chromium",
    "prompt": "What is a good name for a hedgehog who writes poems?",
    "response": reply,
}
bad = [f"{k}={turn.get(k)!r}, expected {v!r}" for k, v in expected.items() if turn.get(k) != v]
if not turn.get("conversation_key"):
    bad.append("no conversation_key")
if bad:
    sys.exit("FAIL: the printed turn: " + "; ".join(bad))
print("ok: the printed turn is the typed exchange")
EOF

# Nothing it started is left behind.
if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
