#!/usr/bin/env bash
# Builds the agent and runs it on this desktop with the bundled local core.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target velmar-desktop-agent >/dev/null
echo "Starting the Velmar desktop agent with its local core (turns go to \${XDG_DATA_HOME:-~/.local/share}/velmar/turns.jsonl); stop it with Ctrl+C." >&2
exec ./build/velmar-desktop-agent "$@"
