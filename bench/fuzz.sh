#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs every one of them for
# SECONDS (default 60), one after another, each in one process on one core, starting
# from its seed corpus in fuzz/corpus/<target>. Prints per target the executions,
# executions per second (of the wall clock, and of the CPU time the target got: the
# two differ when other work shares the machine, so the load average is printed as
# well), the peak memory and the findings (crash-, leak-, timeout- and oom- files).
# Exits with 1 when there was any finding. A finding stops its target; replay it with
#   build-fuzz/fuzz/<target> <file>
# and keep it in fuzz/regressions/<target>/ once the fault is fixed.
#
#   bench/fuzz.sh 300                    # five minutes per target
#   bench/fuzz.sh 60 fuzz_frames fuzz_answer   # only these targets
#
# A target that grows past KESTRUM_FUZZ_RSS_MB (default 300) megabytes stops with an
# oom- finding: memory that grows input by input is a fault of the harness or the
# program, like a crash.
set -euo pipefail

seconds=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUM_FUZZ_BUILD:-$root/build-fuzz}
work=${KESTRUM_FUZZ_WORK:-$build/fuzz-runs}
rss_mb=${KESTRUM_FUZZ_RSS_MB:-300}
# The answer reader and decoder alone, then the whole engine around them; text sent
# while idle; what a network serial server sends over Telnet; settings files read,
# then saved and read back; the setup file; numbers.
all_targets=(fuzz_frames fuzz_answer fuzz_drain fuzz_telnet fuzz_settingsfile fuzz_settingssave
    fuzz_setupfile fuzz_values)
if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=("${all_targets[@]}")
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DKESTRUM_FUZZ=ON -DKESTRUM_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target "${targets[@]}" >/dev/null

echo "targets: ${targets[*]}"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
total_findings=0
report=()
for target in "${targets[@]}"; do
    dir=$work/$target
    mkdir -p "$dir/corpus" "$dir/findings"
    log=$dir/run.log
    echo "== $target: ${seconds}s" >&2
    status=0
    # -timeout: one input that runs longer than that is a finding (a hang).
    /usr/bin/time -f 'time: %e %U %S %M' -o "$dir/time" \
        "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 \
        -rss_limit_mb="$rss_mb" -artifact_prefix="$dir/findings/" \
        "$dir/corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
    peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2 || true)
    # Wall seconds (unused), user and system CPU seconds, largest resident size in kB.
    read -r _ _ user sys max_kb < <(grep '^time:' "$dir/time" || echo "time: 0 0 0 0")
    cpu_rate=$(awk -v n="${execs:-0}" -v u="$user" -v s="$sys" \
        'BEGIN { printf "%d", ((u + s) > 0 ? n / (u + s) : 0) }')
    [ -n "$peak" ] || peak=$((max_kb / 1024))
    corpus=$(find "$dir/corpus" -type f | wc -l)
    findings=$(find "$dir/findings" -type f | wc -l)
    if [ "$status" -ne 0 ] && [ "$findings" -eq 0 ]; then
        findings=1 # the fuzzer failed without writing an input: see its log
    fi
    total_findings=$((total_findings + findings))
    report+=("$(printf '%-18s %11s %7s %9s %8s %6s %7s %8s' "$target" "${execs:-?}" \
        "${rate:-?}" "$cpu_rate" "$peak" "${cov:-?}" "$corpus" "$findings")")
    if [ "$findings" -gt 0 ]; then
        grep -E 'invariant broken|ERROR: |SUMMARY|out-of-memory' "$log" | head -n5 |
            sed 's/^/    /' >&2 || true
        find "$dir/findings" -type f | sed 's/^/    finding: /' >&2
    fi
done

printf '%-18s %11s %7s %9s %8s %6s %7s %8s\n' target executions exec/s exec/cpu-s \
    "peak MB" cov corpus findings
printf '%s\n' "${report[@]}"
echo "seconds per target: $seconds; load after: $(cut -d' ' -f1-3 /proc/loadavg);" \
    "logs and findings in $work"
[ "$total_findings" -eq 0 ]
