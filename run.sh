#!/usr/bin/env bash
# Builds Kestrum and starts the window program against a simulated converter:
# kestrum-sim on a pseudo-terminal, linked as Com1 of a demo program folder.
# Set KESTRUM_HOME to use another folder; pass /DEBUG for service mode.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${KESTRUM_JOBS:-2}" --target kestrum kestrum-sim kestrum-cli

export KESTRUM_HOME=${KESTRUM_HOME:-$PWD/build/demo-home}
sim_pid=$(tools/demo-prepare.sh "$KESTRUM_HOME" build/kestrum-sim)
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
echo "Simulated converter on $(readlink "$KESTRUM_HOME/ports/com1") (Com1); program folder $KESTRUM_HOME"
build/kestrum "$@"
