#!/usr/bin/env bash
# Runs "Read all" series against kestrum-sim for MINUTES (default 10), at the same
# time through kestrum-cli (one read-all per run, in a loop) and through the window
# program under Xvfb (kestrum-bench-window with KESTRUM_SOAK=1 presses "Read all"
# again whenever the engine is quiet), each against its own simulator. Prints the series completed and the
# resident memory (VmRSS) of the long-running processes at start and end, and the
# peak of the first and the last kestrum-cli run.
#
#   bench/soak.sh 10
#   KESTRUM_SOAK_BUILD=build-x bench/soak.sh 1    # another build folder
set -euo pipefail

minutes=${1:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUM_SOAK_BUILD:-$root/build}
[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-bench-window kestrum-cli kestrum-sim >/dev/null

work=$(mktemp -d /tmp/kestrum-soak.XXXXXX)
pids=()
window=""
xvfb=""
cleanup() {
    # The window first; xvfb-run then takes its X server down by itself.
    if [ -n "$window" ]; then
        kill "$window" 2>/dev/null || true
        [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null || true
    fi
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

. "$root/tools/sim-folder.sh"

cli_home=$work/cli
window_home=$work/window
start_sim "$cli_home" "$build/kestrum-sim"
cli_sim=$sim_pid
pids+=("$cli_sim")
start_sim "$window_home" "$build/kestrum-sim"
window_sim=$sim_pid
pids+=("$window_sim")

KESTRUM_SOAK=1 KESTRUM_HOME=$window_home xvfb-run -a "$build/kestrum-bench-window" \
    >"$work/window.out" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    window=$(pgrep -f -n "^$build/kestrum-bench-window\$" || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window program did not start" >&2; exit 1; }
sleep 5
window_rss_start=$(rss_kb "$window")
cli_sim_rss_start=$(rss_kb "$cli_sim")
window_sim_rss_start=$(rss_kb "$window_sim")

end=$((SECONDS + minutes * 60))
cli_runs=0
cli_ok=0
cli_first_peak=0
cli_last_peak=0
while [ $SECONDS -lt $end ]; do
    "$build/kestrum-cli" --home "$cli_home" read-all >/dev/null 2>"$work/cli.err" &
    cli=$!
    peak=0
    while kill -0 "$cli" 2>/dev/null; do
        now=$(rss_kb "$cli")
        [ "${now:-0}" -gt "$peak" ] && peak=$now
        sleep 0.2
    done
    status=0
    wait "$cli" || status=$?
    cli_runs=$((cli_runs + 1))
    [ "$status" -eq 0 ] && cli_ok=$((cli_ok + 1))
    [ "$cli_runs" -eq 1 ] && cli_first_peak=$peak
    cli_last_peak=$peak
done

window_rss_end=$(rss_kb "$window")
cli_sim_rss_end=$(rss_kb "$cli_sim")
window_sim_rss_end=$(rss_kb "$window_sim")
window_series=$(cat "$window_home"/Log/*.log 2>/dev/null |
    grep -c "Reading of all settings was successfull." || true)
window_aborts=$(cat "$window_home"/Log/*.log 2>/dev/null | grep -c "Error reading unit" || true)

echo "soak of $minutes minutes"
echo "kestrum-cli: $cli_ok of $cli_runs read-all runs succeeded;" \
    "peak VmRSS first run ${cli_first_peak} kB, last run ${cli_last_peak} kB"
echo "  its kestrum-sim: VmRSS ${cli_sim_rss_start} kB at start, ${cli_sim_rss_end} kB at end"
echo "window (Xvfb): $window_series read-all series completed, $window_aborts read errors;" \
    "VmRSS ${window_rss_start} kB at start, ${window_rss_end} kB at end"
echo "  its kestrum-sim: VmRSS ${window_sim_rss_start} kB at start, ${window_sim_rss_end} kB at end"
