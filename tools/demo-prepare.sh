#!/usr/bin/env bash
# Prepares a demo program folder: starts kestrum-sim on a pseudo-terminal, links
# it as the folder's ports/com1, and writes a setup file and a default file with
# sensible values when they are missing. Prints the simulator's process id.
#
#   tools/demo-prepare.sh HOME SIMULATOR
set -euo pipefail
home=${1:?usage: demo-prepare.sh HOME SIMULATOR}
sim=${2:?usage: demo-prepare.sh HOME SIMULATOR}
mkdir -p "$home/ports" "$home/Instellingen"

if [ ! -f "$home/Kestrum.set" ]; then
    printf '0        Compoort ->0\r\n1      Logfile ->2\r\n2       SetPath ->\r\n3       UnitType ->3\r\n' \
        > "$home/Kestrum.set"
fi

if [ ! -f "$home/default.set" ]; then
    # Diagnose level, 9600 8N1 on all three lines, 30 s poll watch, bleep code 1.
    declare -A value=([0]=1 [10]=3 [11]=1 [15]=30 [20]=3 [21]=1 [25]=30 [30]=3 [31]=1 [35]=30)
    for item in $(seq 40 78); do value[$item]=1; done
    for item in $(seq 0 249); do
        v=${value[$item]:-}
        if [ -z "$v" ] && [ "$item" -lt 150 ]; then v=0; fi
        printf '%s    ->%s\r\n' "$item" "$v"
    done > "$home/default.set"
fi

rm -f "$home/ports/com1"
"$sim" --no-stdin --link "$home/ports/com1" --save-on-exit "$home/simulated-unit.set" \
    > "$home/simulator.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    [ -e "$home/ports/com1" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "kestrum-sim did not start:" >&2; cat "$home/simulator.log" >&2; exit 1; }
    sleep 0.05
done
[ -e "$home/ports/com1" ] || { echo "kestrum-sim made no line" >&2; kill "$pid"; exit 1; }
echo "$pid" > "$home/simulator.pid"
echo "$pid"
