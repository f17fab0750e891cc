# Sourced by the scripts that need a simulated converter behind a program folder.
#
# new_sim_folder: makes a temporary program folder, named by $home, and sets a trap
# that on exit stops the program ($app_pid, when a script sets it) and the
# simulator ($sim_pid) and removes the folder.
new_sim_folder() {
    home=$(mktemp -d)
    sim_pid=""
    app_pid=""
    trap remove_sim_folder EXIT
}
remove_sim_folder() {
    local pid
    # A killed process's status would end the trap early under set -e.
    for pid in "$app_pid" "$sim_pid"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$home"
}
#
# start_sim FOLDER SIMULATOR [OPTIONS...]: starts kestrum-sim on a new
# pseudo-terminal, linked as FOLDER/ports/com1, its output in FOLDER/sim.log, and
# sets sim_pid. Fails, with the simulator's output, when no link appears.
start_sim() {
    local folder=$1 simulator=$2
    shift 2
    mkdir -p "$folder/ports"
    "$simulator" --no-stdin --link "$folder/ports/com1" "$@" >"$folder/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        [ -L "$folder/ports/com1" ] && return 0
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "kestrum-sim did not start:" >&2
    cat "$folder/sim.log" >&2
    return 1
}
