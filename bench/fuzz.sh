#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each one for SECONDS
# (default 60), starting from its seed corpus in fuzz/corpus/<target>. Prints per
# target the executions and the findings (crash-, leak-, timeout- and oom- files) and
# exits with 1 when there was any. A finding stops its target; replay it with
#   build-fuzz/fuzz/<target> <file>
# and keep it in fuzz/regressions/<target>/ once the fault is fixed.
#
#   bench/fuzz.sh 300        # five minutes per target
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUM_FUZZ_BUILD:-$root/build-fuzz}
work=${KESTRUM_FUZZ_WORK:-$build/fuzz-runs}
targets=(fuzz_answer fuzz_drain fuzz_settingsfile fuzz_setupfile fuzz_values)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DKESTRUM_FUZZ=ON -DKESTRUM_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${KESTRUM_JOBS:-2}" --target "${targets[@]}" >/dev/null

total_findings=0
report=()
for target in "${targets[@]}"; do
    dir=$work/$target
    mkdir -p "$dir/corpus" "$dir/findings"
    log=$dir/run.log
    echo "== $target: ${seconds}s" >&2
    status=0
    # -timeout: one input that runs longer than that is a finding (a hang).
    "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 \
        -artifact_prefix="$dir/findings/" "$dir/corpus" "$root/fuzz/corpus/$target" \
        >"$log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2 || true)
    corpus=$(find "$dir/corpus" -type f | wc -l)
    findings=$(find "$dir/findings" -type f | wc -l)
    if [ "$status" -ne 0 ] && [ "$findings" -eq 0 ]; then
        findings=1 # the fuzzer failed without writing an input: see its log
    fi
    total_findings=$((total_findings + findings))
    report+=("$(printf '%-18s %12s %8s %6s %7s %9s' "$target" "${execs:-?}" "${rate:-?}" \
        "${cov:-?}" "$corpus" "$findings")")
    if [ "$findings" -gt 0 ]; then
        grep -E 'invariant broken|ERROR: |SUMMARY' "$log" | head -n5 | sed 's/^/    /' >&2 || true
        find "$dir/findings" -type f | sed 's/^/    finding: /' >&2
    fi
done

printf '%-18s %12s %8s %6s %7s %9s\n' target executions exec/s cov corpus findings
printf '%s\n' "${report[@]}"
echo "seconds per target: $seconds; logs and findings in $work"
[ "$total_findings" -eq 0 ]
