#!/usr/bin/env bash
# The time kestrum takes to keep a snapshot of a converter's settings with 1,000
# snapshots in the history already.
#
#     bench/history_cost.sh [SNAPSHOTS]   (default 200; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target history_cost >/dev/null
exec "$build/bench/history_cost" "${1:-200}"
