#!/usr/bin/env python3
"""Cases for turn-text-check.py: what it must catch in a read turn, and
what it must let through."""
import importlib.util
import os
import sys

spec = importlib.util.spec_from_file_location("check", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                    "turn-text-check.py"))
check = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check)

CODE = "def f():\n    return 1\n\n\nx = 1"
PAGE = "Blue **is** here.\nRun it on real data\npython\n" + CODE + "\nA | B"

# description, read text, problems expected (substrings), whether its lines match
CASES = [
    ("the same text", PAGE, [], True),
    ("spaces at line ends do not count", PAGE.replace("here.", "here.  "), [], True),
    ("a run read twice", PAGE.replace("Blue **is**", "Blue **is****is**"), ["doubled run"], False),
    ("an object replacement character", PAGE + "\ufffc", ["U+FFFC"], False),
    ("a button's word", PAGE.replace("python\n", "python\nCopy\nRun\n"), ["control word 'Copy'", "control word 'Run'"], False),
    ("a notice under the reply", PAGE + "\nChatGPT can make mistakes. Check important info.", ["notice"], False),
    ("code indentation lost", PAGE.replace("    return", "return"), ["a code block not byte for byte"], False),
    ("code blank lines lost", PAGE.replace("\n\n\n", "\n"), ["a code block not byte for byte"], False),
    ("a sentence cut into lines", PAGE.replace("Blue **is** here.", "Blue\n**is**\nhere."), [], False),
]


def main():
    failed = 0
    expected = {"role": "assistant", "text": PAGE, "code": [CODE]}
    for description, read, want, same in CASES:
        got = check.problems(expected, {"role": "assistant", "text": read})
        rows, report = [], []
        check.compare("page", [expected], [{"role": "assistant", "text": read}], rows, report)
        ok = all(any(w in g for g in got) for w in want) and (want or not got) and (not report) == same
        print(("ok    " if ok else "FAIL  ") + description + ("" if ok else f": problems {got}, report {report}"))
        failed += not ok
    # A page's row counts its turns and the lines that arrived intact.
    rows, report = [], []
    check.compare("page", [expected, {"role": "user", "text": "hi"}], [{"role": "assistant", "text": PAGE}], rows, report)
    ok = rows == [("page", 2, 1, len(PAGE.split("\n")), len(PAGE.split("\n")) + 1)] and len(report) == 1
    print(("ok    " if ok else "FAIL  ") + "a missing turn is counted and reported" + ("" if ok else f": {rows} {report}"))
    failed += not ok
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
