#!/usr/bin/env python3
"""Rounds of turns through the real delivery path while both sides are hurt.

Each round the journal fault driver captures 20-40 turns while, at random
moments, the driver (the agent's side) or its local core is killed (-9), the
core is stopped for a while (then continued or killed), and the core's disk
is filled and freed. At the end of every round each turn must be in
turns.jsonl exactly once. The seed is printed first; VELMAR_SOAK_SEED replays
a run. Run through scripts/fault-soak.sh.
"""
import collections
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 10
disk = sys.argv[2] if len(sys.argv) > 2 else ""  # a small tmpfs for the core's data, or ""
build = os.environ.get("VELMAR_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
driver_exe = os.path.join(build, "velmar-journal-fault-driver")
core_script = os.path.join(build, "share", "velmar", "core.mjs")
seed = int(os.environ.get("VELMAR_SOAK_SEED", "20261207"))
print(f"fault soak: {rounds} rounds, seed {seed} (VELMAR_SOAK_SEED={seed} replays it)", flush=True)
if not disk:
    print("fault soak: no private tmpfs, so no full disk this run", flush=True)
rng = random.Random(seed)
root = tempfile.mkdtemp(prefix="velmar-soak-")
counts = collections.Counter()


def children(pid):
    out = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            if int(fields[1]) == pid:
                out.append(int(entry))
        except (OSError, IndexError, ValueError):
            pass
    return out


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def signal_pid(pid, sig):
    try:
        os.kill(pid, sig)
    except ProcessLookupError:
        pass


def fill(path):
    """Fills the disk under path; returns the filler's name."""
    filler = os.path.join(path, "filler")
    fd = os.open(filler, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    try:
        while os.write(fd, b"\0" * 4096) > 0:
            pass
    except OSError:
        pass
    finally:
        os.close(fd)
    return filler


def run_round(r):
    state = os.path.join(root, f"state-{r}")
    data = os.path.join(disk or root, f"data-{r}")
    os.makedirs(data)
    count = rng.randint(20, 40)
    driver = None
    cores = set()  # every core pid seen, to be sure none is left behind
    filler = None

    log_path = os.path.join(root, f"round-{r}.log")

    def start():
        with open(log_path, "ab") as log:
            return subprocess.Popen([driver_exe, state, data, core_script, str(count), str(rng.randrange(1 << 30))],
                                    stdout=subprocess.DEVNULL, stderr=log)

    def current_core():
        if driver is None:
            return None
        found = children(driver.pid)
        cores.update(found)
        return found[0] if found else None

    for _ in range(rng.randint(2, 6)):
        if driver is None or driver.poll() is not None:
            if driver is not None and driver.returncode == 0:
                break
            driver = start()
        time.sleep(rng.uniform(0, 0.3))
        action = rng.choice(["kill_agent", "kill_core", "stop_core", "disk"] if disk else
                            ["kill_agent", "kill_core", "stop_core"])
        if action == "kill_agent":
            current_core()
            driver.kill()
            driver.wait()
            counts["agent kills"] += 1
        elif action == "kill_core":
            core = current_core()
            if core:
                signal_pid(core, signal.SIGKILL)
                counts["core kills"] += 1
        elif action == "stop_core":
            core = current_core()
            if core:
                signal_pid(core, signal.SIGSTOP)
                counts["core stops"] += 1
                time.sleep(rng.uniform(0.05, 1.0))
                if rng.random() < 0.3:  # the agent dies while its core is stopped
                    driver.kill()
                    driver.wait()
                    counts["agent kills"] += 1
                    time.sleep(rng.uniform(0, 0.5))
                signal_pid(core, signal.SIGKILL if rng.random() < 0.5 else signal.SIGCONT)
        elif action == "disk":
            if filler:
                os.unlink(filler)
                filler = None
            else:
                filler = fill(disk)
                counts["disk fills"] += 1
    # Healed: room on the disk, nothing stopped; the driver finishes the round.
    if filler:
        os.unlink(filler)
    for pid in list(cores):
        signal_pid(pid, signal.SIGCONT)
    deadline = time.time() + 90
    while time.time() < deadline:
        if driver is None or driver.poll() is not None:
            if driver is not None and driver.returncode == 0:
                break
            driver = start()
        current_core()
        time.sleep(0.05)
    finished = driver is not None and driver.poll() == 0
    if not finished and driver is not None:
        driver.kill()
        driver.wait()
    for pid in cores:
        if alive(pid):
            signal_pid(pid, signal.SIGKILL)
    stored = []
    store = os.path.join(data, "velmar", "turns.jsonl")
    if os.path.exists(store):
        with open(store, encoding="utf-8") as f:
            stored = [json.loads(line)["turn_index"] for line in f if line.strip()]
    seen = collections.Counter(stored)
    lost = [i for i in range(1, count + 1) if seen[i] == 0]
    doubled = [i for i, n in seen.items() if n > 1]
    counts["turns"] += count
    with open(log_path, encoding="utf-8", errors="replace") as f:
        log_text = f.read()
    # The full disk as the agent saw it: the core answered "failed".
    counts["storage-full episodes"] += log_text.count("could not store turns")
    counts["lost"] += len(lost)
    counts["doubled"] += len(doubled)
    if lost or doubled or not finished:
        print(f"round {r}: {count} turns, lost {lost}, doubled {doubled}, finished {finished}; log {log_path}",
              flush=True)
        return False
    os.unlink(log_path)
    shutil.rmtree(data, ignore_errors=True)
    shutil.rmtree(state, ignore_errors=True)
    return True


failed = 0
began = time.time()
for r in range(rounds):
    if not run_round(r):
        failed += 1
    if (r + 1) % 20 == 0:
        print(f"... {r + 1} rounds, {dict(counts)}", flush=True)
summary = ", ".join(f"{k} {v}" for k, v in sorted(counts.items()))
print(f"fault soak: {rounds} rounds in {time.time() - began:.0f} s: {summary}; {failed} rounds failed", flush=True)
if failed == 0:
    shutil.rmtree(root, ignore_errors=True)
sys.exit(1 if failed else 0)
