#!/usr/bin/env bash
# A read-all against kestrum-sim over its pseudo-terminal, then through Debian's
# ser2net (raw TCP and RFC 2217) to the same terminal, in one run. Prints per path the
# engine ticks and wall/(ticks*25ms), then for each network path its ticks beside the
# pseudo-terminal's (target: the same) and its median ratio over the pseudo-terminal's
# (target: at most 1.02).
#
#     bench/network_link.sh [ROUNDS]   (default 3; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
rounds=${1:-3}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUM_TESTS=ON >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-sim network_link >/dev/null
exec "$build/bench/network_link" --rounds "$rounds"
