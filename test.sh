#!/usr/bin/env bash
# Installs what is missing, builds Kestrum with its tests and runs them.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
jobs=${KESTRUM_JOBS:-2}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure)
