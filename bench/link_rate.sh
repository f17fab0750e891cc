#!/usr/bin/env bash
# Round-trip rate of read requests over a real pseudo-terminal to kestrum-sim,
# beside the engine's 25 ms tick.
#
#     bench/link_rate.sh [COUNT]        (default 1000; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
count=${1:-1000}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-sim link_rate >/dev/null
exec "$build/bench/link_rate" --sim "$build/kestrum-sim" --count "$count"
