#!/usr/bin/env bash
# Sanitizer builds and their tests: address+undefined (undefined behaviour
# fatal) for every test, thread for the device layer and the Upload dialog.
# Any sanitizer report fails the run, also one from a program that a test
# started (the simulator, vark-cli), whatever the test made of its status.
# usage: scripts/sanitize.sh [asan|tsan]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
times=()

# run DIR SANITIZERS TIMEOUT TEST-FILTER [TARGET...]: builds the targets
# (everything but the benchmark when none are named) and runs the matching
# tests, each stopped after TIMEOUT seconds unless it has its own limit.
# Called as `run ... || status=1`, so `set -e` does not act inside: every step
# that must stop the stage says so itself.
run() {
    local dir=$1 flags=$2 timeout=$3 filter=$4
    shift 4
    local start=$SECONDS
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARK_SANITIZE="$flags" \
        -DVARK_BUILD_BENCH=OFF -DVARK_WERROR=ON "${launcher[@]}" >/dev/null || return 1
    cmake --build "$dir" -j"$(nproc)" ${1:+--target "$@"} || return 1
    local built=$SECONDS
    local logs=$PWD/$dir/sanitizer-logs
    rm -rf "$logs"
    # Open to every user: permission cases run programs as another user.
    mkdir -p -m 1777 "$logs"
    local status=0
    ASAN_OPTIONS="log_path=$logs/report:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
    UBSAN_OPTIONS="log_path=$logs/report:print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}" \
    TSAN_OPTIONS="log_path=$logs/report:suppressions=$PWD/scripts/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}" \
    LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    VARK_SUMMARY_LABEL="sanitizers, $dir" \
        scripts/ctest-checked.sh --test-dir "$dir" --output-on-failure --timeout "$timeout" \
        -j"$(nproc)" ${filter:+-R "$filter"} || status=$?
    if compgen -G "$logs/report*" >/dev/null; then
        echo "=== sanitizer reports ($dir)"
        cat "$logs"/report*
        status=1
    fi
    times+=("$dir: build $((built - start)) s, tests $((SECONDS - built)) s")
    return "$status"
}

mode=${1:-all}
status=0
# The native run's one-minute limit, times the slow-down of each sanitizer
# (the factor CMakeLists.txt applies to the tests' own limits).
if [ "$mode" = asan ] || [ "$mode" = all ]; then
    run build-asan address,undefined 180 "" || status=1
fi
if [ "$mode" = tsan ] || [ "$mode" = all ]; then
    # Only what the thread checker runs: the device tests and the window
    # tests, of which the Upload dialog's run (Qt's own threads are not checked).
    run build-tsan thread 300 "device|Device|Serial|Upload|hotplug" test_device test_app \
        test_hotplug test_app_hotplug || status=1
fi
printf '%s\n' "${times[@]}"
exit "$status"
