#!/usr/bin/env bash
# Pictures of the main window's pages, one PNG per page the user can reach, for the
# documentation. The program runs under Xvfb in a fresh program folder against
# kestrum-sim (linked as port 1), reads all settings from it and saves each page;
# a second run in service mode adds the "General settings" page with its service
# buttons.
#
#     tools/screenshots.sh [FOLDER]     (default docs; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
out=$(realpath -m "${1:-docs}")
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-bench-window kestrum-sim >/dev/null

mkdir -p "$out"
. tools/sim-folder.sh
new_sim_folder
start_sim "$home" "$build/kestrum-sim"

shoot() {
    KESTRUM_HOME="$home" KESTRUM_SCREENSHOT_DIR="$out" \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build/kestrum-bench-window" "$@"
}
KESTRUM_SCREENSHOT_READALL=1 shoot
KESTRUM_SCREENSHOT_PREFIX=service-mode- KESTRUM_SCREENSHOT_PAGES=setup-general shoot /DEBUG
ls -1 "$out"/*.png
