#!/usr/bin/env bash
# Builds everything with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ (with libFuzzer's coverage, so the fuzz harnesses are built
# too) and runs the whole test suite there; any finding fails the run.
# Usage: bash scripts/sanitize.sh [--build-only]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh --sanitize
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVELMAR_SANITIZE=ON -DVELMAR_FUZZ=ON -DVELMAR_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-sanitize -j2
[ "${1:-}" = "--build-only" ] && exit 0
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp}
# Tests labelled long (slow streams on every page) are about timing, not memory.
ctest --test-dir build-sanitize --output-on-failure -j2 -LE long
