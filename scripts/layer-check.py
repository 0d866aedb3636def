#!/usr/bin/env python3
"""Fails when a file in src/ includes a header from a higher layer.

Layers, low to high (a file may include its own layer and any lower one):
  0 base      the platform ports (src/platform/*.hpp), text/, json/
  1 ax
  2 surfaces
  3 parsing
  4 capture
  5 ui        (the runtime composes the menu and windows)
  6 runtime
  7 tools
Backends (src/platform/sim, linux, headless) may include the base and the
lower layers they use today, up to the runtime's build facts, never ui/,
tools/ or bin/. src/bin/ may include everything.

Known exceptions are listed in scripts/layer-exceptions.txt, one
"file -> header  # reason" a line; an exception that no longer occurs is
reported too, so the list only shrinks.
"""
import pathlib
import re
import sys

LAYERS = {"text": 0, "json": 0, "ax": 1, "surfaces": 2, "parsing": 3, "capture": 4, "ui": 5, "runtime": 6, "tools": 7}
BACKENDS = ("sim", "linux", "headless")
BACKEND_MAY_NOT = ("ui", "tools", "bin")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def area(path):
    """The layer name of a path below src/: 'platform' for a port, 'backend' for a backend."""
    parts = pathlib.PurePosixPath(path).parts
    if parts[0] == "platform":
        return "backend" if len(parts) > 2 and parts[1] in BACKENDS else "platform"
    return parts[0]


def rank(name):
    return 0 if name == "platform" else LAYERS.get(name)


def offends(source, header):
    src, dst = area(source), area(header)
    if src == "bin":
        return False
    if src == "backend":
        return dst in BACKEND_MAY_NOT
    if dst in ("backend", "bin"):
        return True
    low, high = rank(src), rank(dst)
    return low is not None and high is not None and high > low


def load_exceptions(path):
    allowed = set()
    if not path.exists():
        return allowed
    for line in path.read_text().splitlines():
        entry = line.split("#", 1)[0].strip()
        if entry:
            source, _, header = entry.partition("->")
            allowed.add((source.strip(), header.strip()))
    return allowed


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    src = root / "src"
    allowed = load_exceptions(root / "scripts" / "layer-exceptions.txt")
    seen, failures = set(), []
    for file in sorted(src.rglob("*")):
        if file.suffix not in (".hpp", ".cpp", ".in"):
            continue
        rel = file.relative_to(src).as_posix()
        for number, line in enumerate(file.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            header = match.group(1)
            if not offends(rel, header):
                continue
            if (rel, header) in allowed:
                seen.add((rel, header))
                continue
            failures.append(f"src/{rel}:{number}: includes {header}, a higher layer")
    for source, header in sorted(allowed - seen):
        failures.append(f"scripts/layer-exceptions.txt: {source} -> {header} no longer occurs: remove it")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
