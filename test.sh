#!/usr/bin/env bash
# Installs what is missing, builds Kestrum with its tests and runs them; then builds
# them again with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan) and runs
# them there, where any report of either fails its test and so the run.
# KESTRUM_SKIP_SANITIZE=1 leaves the sanitizer run out, for quick local runs.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
jobs=${KESTRUM_JOBS:-2}
# The end-to-end tests spend nearly all their time waiting on the converter's time-outs
# and the simulator's replies, not on the processor (under a quarter of a core each):
# three tests per core halve the run.
test_jobs=${KESTRUM_TEST_JOBS:-$((jobs * 3))}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$test_jobs" --output-on-failure)

if [ "${KESTRUM_SKIP_SANITIZE:-0}" != 1 ]; then
    # Both sanitizers stop the process at their first report (-fno-sanitize-recover
    # for UBSan), so a report is a failed test. Qt's own allocations kept until exit
    # would make LeakSanitizer noisy: it is off per test in tests/CMakeLists.txt.
    # -O1 with line tables only: the optimisation the sanitizers are made for, and
    # about a third less build time than -O2 with full debug information.
    # The benchmarks measure the normal build; the sanitized one leaves them out.
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g1 -O1" \
        -DKESTRUM_SANITIZE=ON -DKESTRUM_BENCH=OFF >/dev/null
    cmake --build build-asan -j"$jobs"
    (cd build-asan && ctest -j"$test_jobs" --output-on-failure)
fi
