#!/usr/bin/env bash
# Builds everything and runs every test suite, one stage after another; the
# first failing stage fails the run. Each stage's time is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

times=()
stage() {
    local name=$1
    shift
    local start=$SECONDS
    echo "=== stage: $name"
    "$@"
    times+=("$name: $((SECONDS - start)) s")
}

native() {
    scripts/build.sh
    QT_QPA_PLATFORM=offscreen scripts/ctest-checked.sh --test-dir build --output-on-failure \
        --timeout 300 -j"$(nproc)"
}

stage native native
# Further stages go below, one line each, in the order they should run.
stage print scripts/test-print.sh
stage gui scripts/test-gui.sh
stage package scripts/test-package.sh
stage windows scripts/test-windows.sh
stage sanitizers scripts/sanitize.sh

echo "=== stage times"
printf '%s\n' "${times[@]}"
