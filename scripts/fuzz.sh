#!/usr/bin/env bash
# Runs every libFuzzer harness (fuzz/*Fuzzer.cpp, built by scripts/sanitize.sh
# under ASan and UBSan) for a fixed time each, starting from its kept corpus,
# the bundled fixtures and the replay files. A finding is saved into
# fuzz/corpus/<Name>/ (commit it: the test suite replays it from then on) and
# fails the run.
# Usage: bash scripts/fuzz.sh [SECONDS_PER_HARNESS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/sanitize.sh --build-only
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
for harness in fuzz/*Fuzzer.cpp; do
  name=$(basename "$harness" Fuzzer.cpp)
  kept="fuzz/corpus/$name"
  mkdir -p "$kept" "$work/$name"
  echo "fuzzing $name for ${seconds}s"
  if build-sanitize/"velmar-fuzz-$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$kept/" "$work/$name" "$kept" tests/fixtures tests/tools/replay \
       >"$work/$name.log" 2>&1; then
    passed=$((passed + 1))
    grep -E "^stat::number_of_executed_units|^stat::new_units_added" "$work/$name.log" || true
  else
    failed=$((failed + 1))
    tail -n 60 "$work/$name.log"
    echo "finding in $name kept in $kept/: commit it as a regression input"
  fi
  rmdir "$kept" 2>/dev/null || true
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
