#!/usr/bin/env bash
# Builds everything and runs every test suite, one stage after another; the
# first failing stage fails the run. At the end (also after a failure) the log
# says how many tests each stage ran, failed and skipped, and each stage's time.
set -euo pipefail
cd "$(dirname "$0")/.."

# Every stage's test runs add their counts here (scripts/stage-summary.sh).
VARK_TEST_SUMMARY=$(mktemp)
export VARK_TEST_SUMMARY
times=()
finish() {
    local status=$?
    echo "=== tests per stage"
    cat "$VARK_TEST_SUMMARY"
    rm -f "$VARK_TEST_SUMMARY"
    echo "=== stage times"
    printf '%s\n' "${times[@]}"
    if [ "$status" -ne 0 ]; then echo "=== the run failed (status $status)"; fi
}
trap finish EXIT

stage() {
    local name=$1
    shift
    local start=$SECONDS
    echo "=== stage: $name"
    local rc=0
    "$@" || rc=$?
    times+=("$name: $((SECONDS - start)) s$( ((rc == 0)) || echo ", failed")")
    return "$rc"
}

native() {
    scripts/build.sh
    # A test that hangs fails after a minute; the few that need longer carry
    # their own TIMEOUT property.
    QT_QPA_PLATFORM=offscreen VARK_SUMMARY_LABEL=native scripts/ctest-checked.sh --test-dir build \
        --output-on-failure --timeout 60 -j"$(nproc)"
}

stage native native
# Further stages go below, one line each, in the order they should run.
stage print scripts/test-print.sh
stage gui scripts/test-gui.sh
stage package scripts/test-package.sh
stage windows scripts/test-windows.sh
stage sanitizers scripts/sanitize.sh
