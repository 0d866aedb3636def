#!/usr/bin/env python3
"""Compares the text the agent reads from the chat pages with the text each
page states for its bubbles (tests/support/chat-pages: chat.js computes it
from the rendered DOM and posts it to serve.py).

  turn-text-check.py --stated STATED.json --read AX-TURNS.jsonl [--surfaces a,b]
  turn-text-check.py --stated STATED.json --stored TURNS.jsonl

--read takes the JSON lines of `velmar-desktop-agent ax-turns --json`;
--stored the local core's store, whose turns are typed exchanges: each
stored prompt and response must be the last exchange of its page. Lines are
compared after trimming spaces at their ends; code blocks byte for byte. No
turn may hold U+FFFC, a run read twice, or a control's word. Prints one row
per page and exits 1 on any difference.
"""
import argparse
import collections
import difflib
import json
import re
import sys

CONTROLS = ["Copy", "Run", "Retry", "Sources", "Edit"]
NOTICES = ["can make mistakes", "AI-generated, for reference only", "Answers can contain mistakes"]
DOUBLED = re.compile(r"(\S[^\n]{3,}?)\1")


def lines(text):
    return [l.rstrip(" \t") for l in text.split("\n")]


def problems(expected, read):
    """What is wrong with one read turn, beyond its lines."""
    out = []
    if "\ufffc" in read["text"]:
        out.append("U+FFFC")
    for m in DOUBLED.finditer(read["text"]):
        if m.group(0) not in expected["text"]:
            out.append(f"doubled run {m.group(1)!r}")
            break
    for word in CONTROLS:
        pattern = re.compile(rf"(?<![\w-]){word}(?![\w-])")
        if len(pattern.findall(read["text"])) > len(pattern.findall(expected["text"])):
            out.append(f"control word {word!r}")
    for notice in NOTICES:
        if notice in read["text"] and notice not in expected["text"]:
            out.append(f"notice {notice!r}")
    for code in expected.get("code", []):
        if code not in read["text"]:
            out.append("a code block not byte for byte")
    return out


def compare(name, expected, read, rows, report):
    """expected, read: lists of {role, text[, code]} in page order."""
    intact = total = 0
    bad = []
    for i, want in enumerate(expected):
        total += len(lines(want["text"]))
        if i >= len(read):
            bad.append(f"turn {i + 1} ({want['role']}): missing")
            continue
        got = read[i]
        if got["role"] != want["role"]:
            bad.append(f"turn {i + 1}: role {got['role']}, expected {want['role']}")
        a, b = lines(want["text"]), lines(got["text"])
        intact += sum(block.size for block in difflib.SequenceMatcher(None, a, b, autojunk=False).get_matching_blocks())
        issues = problems(want, got)
        if a != b or issues:
            diff = "\n".join("      " + d for d in difflib.unified_diff(a, b, "expected", "read", lineterm="", n=0)
                             if not d.startswith("@@"))
            bad.append(f"turn {i + 1} ({want['role']}): " + (", ".join(issues) or "lines differ") + ("\n" + diff if a != b else ""))
    for j in range(len(expected), len(read)):
        bad.append(f"turn {j + 1} ({read[j]['role']}): not on the page: {read[j]['text'][:80]!r}")
    rows.append((name, len(expected), len(read), intact, total))
    for b in bad:
        report.append(f"{name}: {b}")


def latest_by_surface(stated):
    out = {}
    for href, entry in stated.items():
        if "rename=" in href:
            continue
        old = out.get(entry["surface"])
        if old is None or entry.get("postedAt", 0) >= old.get("postedAt", 0):
            out[entry["surface"]] = entry
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--stated", required=True)
    ap.add_argument("--read")
    ap.add_argument("--stored")
    ap.add_argument("--surfaces", help="with --read: the surfaces whose pages are open (default: every stated one)")
    args = ap.parse_args()
    stated = json.load(open(args.stated, encoding="utf-8"))
    rows, report = [], []

    if args.read:
        pages = latest_by_surface(stated)
        if args.surfaces:
            pages = {k: v for k, v in pages.items() if k in args.surfaces.split(",")}
        targets = collections.OrderedDict()
        for line in open(args.read, encoding="utf-8"):
            if line.strip():
                turn = json.loads(line)
                targets.setdefault((turn["surface"], turn["title"]), []).append(turn)
        for (surface, title), turns in targets.items():
            if surface not in pages:
                report.append(f"{surface}: read ({title!r}) but no page states its text")
                continue
            turns.sort(key=lambda t: t["ordinal"])
            expected = pages.pop(surface)["turns"]
            if surface == "claude_design":
                expected = [t for t in expected if t["role"] == "user"]  # captured by its prompts
            compare(surface, expected, turns, rows, report)
        for surface in pages:
            report.append(f"{surface}: the page states its text but ax-turns did not read it")

    if args.stored:
        for line in open(args.stored, encoding="utf-8"):
            if not line.strip():
                continue
            turn = json.loads(line)
            # The page the exchange was typed into: its latest statement ending with this prompt.
            pages = [e for e in stated.values() if e["surface"] == turn["surface"] and e["turns"]
                     and any(t["role"] == "user" and t["text"] == turn["prompt"] for t in e["turns"][-2:])]
            if not pages:
                report.append(f"{turn['surface']} (stored): no page states the prompt {turn['prompt']!r}")
                continue
            page = max(pages, key=lambda e: e.get("postedAt", 0))
            last = page["turns"][-2:] if page["turns"][-1]["role"] == "assistant" else page["turns"][-1:]
            got = [{"role": "user", "text": turn["prompt"]}]
            if turn.get("response"):
                got.append({"role": "assistant", "text": turn["response"]})
            compare(turn["surface"] + " (stored)", last, got, rows, report)

    width = max([len(r[0]) for r in rows] + [4])
    print(f"{'page'.ljust(width)}  turns expected/found  lines intact/total")
    for name, want, got, intact, total in rows:
        print(f"{name.ljust(width)}  {want:>8}/{got:<5}           {intact:>5}/{total}")
    if rows:
        print(f"{'all'.ljust(width)}  {sum(r[1] for r in rows):>8}/{sum(r[2] for r in rows):<5}           "
              f"{sum(r[3] for r in rows):>5}/{sum(r[4] for r in rows)}")
    for line in report:
        print("FAIL:", line, file=sys.stderr)
    return 1 if report or not rows else 0


if __name__ == "__main__":
    sys.exit(main())
