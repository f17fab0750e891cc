#!/usr/bin/env bash
# The time kestrum takes to write the configuration report of a full settings file,
# as PDF and as HTML.
#
#     bench/report_time.sh [RUNS]       (default 9; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target report_time >/dev/null
exec "$build/bench/report_time" "${1:-9}"
