#!/usr/bin/env bash
# The fixture reader beside Python's json.load, on a generated 30,000-node
# fixture and on the largest bundled one: best wall time of reading the file
# in-process, the most heap reading it holds at once (Python: tracemalloc's
# peak), the rise in peak resident size, and the whole velmar-fixture-check run. Goals: at most 0.5x json.load's time, at most 1.5x
# the file's size in memory.
# Usage: bash bench/fixture-reader.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target velmar-fixture-read-bench velmar-fixture-check >/dev/null
probe="$build/velmar-fixture-read-bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$probe" generate "$work/large-30000.json" 30000 >/dev/null

python_time() {  # best of N json.load, in ms
  python3 - "$1" "$2" <<'PY'
import json, sys, time
path, repeat = sys.argv[1], int(sys.argv[2])
best = float("inf")
for _ in range(repeat):
    start = time.perf_counter()
    with open(path, "rb") as f:
        json.load(f)
    best = min(best, time.perf_counter() - start)
print(f"{best * 1000:.4f}")
PY
}

python_memory() {  # the most memory json.load holds at once, in bytes
  python3 - "$1" <<'PY'
import json, sys, tracemalloc
tracemalloc.start()
with open(sys.argv[1], "rb") as f:
    doc = json.load(f)
print(tracemalloc.get_traced_memory()[1])
PY
}

tool_time() {  # best of 5 whole runs of velmar-fixture-check, in ms
  local best=""
  for _ in 1 2 3 4 5; do
    local start end
    start=$(date +%s%N)
    "$build/velmar-fixture-check" "$1" >/dev/null || true
    end=$(date +%s%N)
    local ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

printf '%-28s %9s %9s %9s %6s %10s %10s %6s %10s %8s\n' fixture bytes "read ms" json.load ratio "heap peak" "py peak" "x size" "rss rise" "tool ms"
for file in "$work/large-30000.json" "$("$probe" largest)"; do
  bytes=$(stat -c %s "$file")
  repeat=$(( bytes > 1000000 ? 10 : 2000 ))
  ours=$("$probe" time "$file" "$repeat")
  theirs=$(python_time "$file" "$repeat")
  read -r mem rss < <("$probe" memory "$file")
  pymem=$(python_memory "$file")
  printf '%-28s %9d %9.3f %9.3f %6.2f %10d %10d %6.2f %10d %8s\n' "$(basename "$file")" "$bytes" "$ours" "$theirs" \
    "$(echo "$ours / $theirs" | bc -l)" "$mem" "$pymem" "$(echo "$mem / $bytes" | bc -l)" "$rss" "$(tool_time "$file")"
done
