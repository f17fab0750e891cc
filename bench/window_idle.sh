#!/usr/bin/env bash
# What the window program costs while it sits idle: it runs 20 s under Xvfb with its
# four timers going (port 1 linked to kestrum-sim, nothing requested), then its CPU
# share of one core and its peak resident memory are read from /proc. Targets:
# below 2 % of one core and below 80 MB.
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

home=$(mktemp -d)
sim_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$home"
}
trap cleanup EXIT

mkdir -p "$home/ports"
"$build/kestrum-sim" --link "$home/ports/com1" --no-stdin >"$home/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
    [ -L "$home/ports/com1" ] && break
    sleep 0.1
done

KESTRUM_HOME="$home" QT_QPA_PLATFORM=xcb "$build/kestrum" >/dev/null 2>&1 &
app_pid=$!

# CPU ticks (user + system) of the process: fields 14 and 15 of /proc/PID/stat,
# counted after the command name, which may hold blanks.
cpu_ticks() {
    sed 's/^.*) //' "/proc/$app_pid/stat" | awk '{print $12 + $13}'
}

sleep 2 # start-up and the one-shot refresh are not idle time
before=$(cpu_ticks)
sleep "$seconds"
after=$(cpu_ticks)
hz=$(getconf CLK_TCK)
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$app_pid/status")

awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
    'BEGIN {printf "idle CPU over %d s: %.2f %% of one core (target < 2 %%)\n", s, 100 * t / (hz * s)}'
awk -v kb="$peak_kb" 'BEGIN {printf "peak memory (VmHWM): %.1f MB (target < 80 MB)\n", kb / 1024}'
