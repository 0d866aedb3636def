#!/usr/bin/env python3
"""Reads every case of text-rules.json with the chat pages' own reader
(chat.js, in a headless Chromium) and compares it with the case's text: the
pages' statements are only as good as this reader. Exits 77 without Chromium."""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    chromium = shutil.which("chromium") or shutil.which("chromium-browser") or shutil.which("google-chrome")
    if not chromium or not shutil.which("openssl"):
        print("skipped: needs Chromium and openssl (scripts/bootstrap.sh installs them)")
        return 77
    with tempfile.TemporaryDirectory(prefix="velmar-rules.") as tmp:
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=rules",
                        "-keyout", f"{tmp}/key.pem", "-out", f"{tmp}/cert.pem"], check=True, capture_output=True)
        server = subprocess.Popen([sys.executable, f"{HERE}/serve.py", "--cert", f"{tmp}/cert.pem",
                                   "--key", f"{tmp}/key.pem", "--port-file", f"{tmp}/port"])
        try:
            for _ in range(100):
                if os.path.exists(f"{tmp}/port"):
                    break
                time.sleep(0.1)
            port = open(f"{tmp}/port").read().strip()
            dom = subprocess.run([chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                  f"--user-data-dir={tmp}/profile", f"--host-resolver-rules=MAP * 127.0.0.1:{port}",
                                  "--ignore-certificate-errors", "--dump-dom", "https://chatgpt.com/_velmar/rules"],
                                 capture_output=True, text=True, timeout=60).stdout
        finally:
            server.terminate()
            server.wait()
    found = re.search(r'<pre id="velmar-rules">(.*?)</pre>', dom, re.S)
    if not found:
        print("FAIL: the rules page gave no results")
        return 1
    results = json.loads(html.unescape(found.group(1)))
    failed = [r for r in results if r["read"] != r["expected"]]
    for r in results:
        print(("ok    " if r["read"] == r["expected"] else "FAIL  ") + r["description"])
        if r["read"] != r["expected"]:
            print(f"      expected {r['expected']!r}\n      read     {r['read']!r}")
    print(f"{len(results) - len(failed)} of {len(results)} cases read as the rules say")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
