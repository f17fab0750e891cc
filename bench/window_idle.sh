#!/usr/bin/env bash
# What the window program costs while it sits idle, twice: with port 1 linked to
# kestrum-sim, and with no port at all (port 1 linked to a device that is not there,
# so the start cannot open it). Each time it runs SECONDS under Xvfb with nothing
# requested, then its CPU share of one core, its wake-ups a second and its peak
# resident memory are read from /proc. Targets: at most 0.2 % of one core, at most 15
# wake-ups a second and below 80 MB.
#
#     bench/window_idle.sh [SECONDS]    (default 20; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
seconds=${1:-20}

if [ -z "${KESTRUM_BENCH_IN_XVFB:-}" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum kestrum-sim >/dev/null
    export KESTRUM_BENCH_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

. tools/sim-folder.sh
new_sim_folder
start_sim "$home" "$build/kestrum-sim"
mkdir -p "$home/noport/ports"
ln -s "$home/noport/no-such-device" "$home/noport/ports/com1"

# CPU time of all the process's threads in nanoseconds (the first field of each
# thread's schedstat), and how often they went to sleep and woke again (voluntary
# context switches): a timer that fires wakes the program once.
cpu_ns() { cat /proc/"$app_pid"/task/*/schedstat | awk '{ns += $1} END {print ns}'; }
wakeups() { cat /proc/"$app_pid"/task/*/status | awk '/^voluntary_ctxt_switches:/ {n += $2} END {print n}'; }
main_wakeups() { awk '/^voluntary_ctxt_switches:/ {print $2}' "/proc/$app_pid/task/$app_pid/status"; }

measure() { # label program-folder
    KESTRUM_HOME="$2" QT_QPA_PLATFORM=xcb "$build/kestrum" >/dev/null 2>&1 &
    app_pid=$!
    sleep 3 # start-up and the one-shot refresh are not idle time
    local cpu_before wake_before main_before cpu_after wake_after main_after peak_kb
    cpu_before=$(cpu_ns)
    wake_before=$(wakeups)
    main_before=$(main_wakeups)
    sleep "$seconds"
    cpu_after=$(cpu_ns)
    wake_after=$(wakeups)
    main_after=$(main_wakeups)
    peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$app_pid/status")
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""

    echo "$1:"
    awk -v ns=$((cpu_after - cpu_before)) -v s="$seconds" \
        'BEGIN {printf "  idle CPU over %d s: %.3f %% of one core (target at most 0.2 %%)\n", s, ns / (s * 1e7)}'
    awk -v n=$((main_after - main_before)) -v all=$((wake_after - wake_before)) -v s="$seconds" \
        'BEGIN {printf "  wake-ups a second: %.1f of the main thread, %.1f of all threads (target at most 15)\n", n / s, all / s}'
    awk -v kb="$peak_kb" 'BEGIN {printf "  peak memory (VmHWM): %.1f MB (target < 80 MB)\n", kb / 1024}'
}

measure "with the simulator on port 1" "$home"
measure "with no port (the start could not open port 1)" "$home/noport"
