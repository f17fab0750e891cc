#!/usr/bin/env bash
# Wall time of the converter search with 1 and 8 devices (kestrum-sim on
# pseudo-terminals), all answering and all silent, beside its 25 ms ticks.
#
#     bench/converter_search.sh [N]...  (default 1 8; build folder: $KESTRUM_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUM_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target kestrum-sim converter_search >/dev/null
devices=()
for n in "${@:-1 8}"; do
    for m in $n; do devices+=(--devices "$m"); done
done
exec "$build/bench/converter_search" --sim "$build/kestrum-sim" "${devices[@]}"
