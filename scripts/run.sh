#!/usr/bin/env bash
# Builds the agent and runs it on its embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target velmar-desktop-agent >/dev/null
exec ./build/velmar-desktop-agent "$@"
