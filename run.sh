#!/usr/bin/env bash
# Builds Kestrum and starts the window program.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${KESTRUM_JOBS:-2}" --target kestrum
exec build/kestrum "$@"
