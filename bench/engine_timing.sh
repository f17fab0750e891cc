#!/usr/bin/env bash
# A read-all and a write-all of the 27 bulk items, then a write-changed of one of
# them (it reads all 27 first), against kestrum-sim over a real pseudo-terminal, the
# engine ticked by the real 25 ms timer. Prints wall time, engine ticks,
# wall/(ticks*25ms) (the timer keeps its pace when this stays at or below 1.05),
# ticks per item and the ticks write-changed needs beyond its reads.
#
#     bench/engine_timing.sh [ROUNDS]   (default 3; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
rounds=${1:-3}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-sim engine_timing >/dev/null
exec "$build/bench/engine_timing" --sim "$build/kestrum-sim" --rounds "$rounds"
