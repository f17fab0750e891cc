#!/usr/bin/env bash
# How long "kestrum-cli write-changed FILE" takes against kestrum-sim over a real
# pseudo-terminal, for a file that differs from the unit in 0, 1 and 27 settings: the
# reads of what the unit holds come first (about 4 s), then one write and one
# read-back per changed setting. Prints the total time of each run and its exit status.
#
#     bench/write_changed.sh        (build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-sim kestrum-cli >/dev/null

. tools/sim-folder.sh
new_sim_folder
start_sim "$home" "$build/kestrum-sim"
cli() { "$build/kestrum-cli" --home "$home" "$@"; }
cli read-all --save "$home/held.cfg" >/dev/null 2>&1

# Every setting of read-all gets another choice (the first, or the second when the
# unit holds the first); "one" changes only item 13.
bulk=" 0 5 7 10 11 12 13 14 15 16 17 20 21 22 23 24 25 26 27 30 31 32 33 34 35 36 37 "
awk -v bulk="$bulk" 'BEGIN { FS = "    ->"; OFS = "    ->" }
    { sub(/\r$/, "", $2) }
    index(bulk, " " $1 " ") { $2 = ($2 == "0") ? "1" : "0" }
    { print $1, $2 "\r" }' "$home/held.cfg" >"$home/all.cfg"
awk 'BEGIN { FS = "    ->"; OFS = "    ->" }
    { sub(/\r$/, "", $2) }
    $1 == "13" { $2 = ($2 == "0") ? "1" : "0" }
    { print $1, $2 "\r" }' "$home/held.cfg" >"$home/one.cfg"

timed() { # label file
    local start end status=0
    start=$(date +%s%N)
    cli write-changed "$2" >"$home/out.txt" 2>/dev/null || status=$?
    end=$(date +%s%N)
    printf 'write-changed, %-11s %6.2f s  (exit %d: %s)\n' "$1:" \
        "$(awk -v ns=$((end - start)) 'BEGIN { print ns / 1e9 }')" "$status" \
        "$(tail -n1 "$home/out.txt")"
}
timed "0 changes" "$home/held.cfg"
timed "1 change" "$home/one.cfg"
cli write-changed "$home/held.cfg" >/dev/null 2>&1 || true
timed "27 changes" "$home/all.cfg"
