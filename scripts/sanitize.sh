#!/usr/bin/env bash
# Sanitizer builds: address+undefined for everything, thread for the device layer
# and the Upload dialog.
# usage: scripts/sanitize.sh [asan|tsan]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
run() {
    local dir=$1 flags=$2 filter=$3
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARK_SANITIZE="$flags" -DVARK_BUILD_BENCH=OFF >/dev/null
    cmake --build "$dir" -j"$(nproc)"
    ctest --test-dir "$dir" --output-on-failure --timeout 600 ${filter:+-R "$filter"}
}
mode=${1:-all}
if [ "$mode" = asan ] || [ "$mode" = all ]; then run build-asan address,undefined ""; fi
if [ "$mode" = tsan ] || [ "$mode" = all ]; then
    # The Upload dialog's tests run here too; Qt's own threads are not checked.
    TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}" \
        run build-tsan thread "device|Device|Serial|Upload"
fi
