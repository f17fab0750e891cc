#!/usr/bin/env bash
# Time from process start to the main window's first paint, under Xvfb, in a fresh
# program folder without a converter (start-up goes on after the failed open, as it
# does on a PC with nothing plugged in). Prints each run and the median in ms;
# the target is below 500 ms.
#
#     bench/startup_time.sh [RUNS]      (default 7; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
runs=${1:-7}

if [ -z "${KESTRUM_BENCH_IN_XVFB:-}" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-bench-window >/dev/null
    export KESTRUM_BENCH_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

times=()
for run in $(seq "$runs"); do
    start=$(date +%s%3N)
    shown=$(KESTRUM_HOME="$home" KESTRUM_BENCH_STARTUP=1 QT_QPA_PLATFORM=xcb \
                "$build/kestrum-bench-window" 2>/dev/null | sed -n 's/^shown-at-ms //p')
    [ -n "$shown" ] || { echo "run $run: the window never showed"; exit 1; }
    times+=($((shown - start)))
    echo "run $run: $((shown - start)) ms"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
echo "start-up to first paint, median of $runs: $median ms (target < 500 ms)"
