#!/usr/bin/env bash
# The delivery path under faults: bash scripts/fault-soak.sh [ROUNDS] (default
# 200). Kills both sides at random, stops the core, fills and frees its disk
# (a small tmpfs in a private mount namespace), and checks after every round
# that each turn was stored exactly once. VELMAR_SOAK_SEED replays a run;
# VELMAR_BUILD_DIR names the build (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-200}"
export VELMAR_BUILD_DIR="${VELMAR_BUILD_DIR:-$PWD/build}"
soak=tests/support/fault-soak.py
if why=$(unshare --mount sh -c 'd=$(mktemp -d) && mount -t tmpfs -o size=64k tmpfs "$d" && umount "$d" && rmdir "$d"' 2>&1); then
  exec unshare --mount sh -c 'd=$(mktemp -d) && mount -t tmpfs -o size=512k,mode=0700 tmpfs "$d" && exec python3 "$0" "$1" "$d"' "$soak" "$rounds"
fi
echo "fault soak: a private tmpfs is not permitted here ($why); running without a full disk"
exec python3 "$soak" "$rounds"
