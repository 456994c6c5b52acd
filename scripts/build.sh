#!/usr/bin/env bash
# Configures and builds into build/ (programs in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
launcher=()
# A compiler cache, where the machine has one, makes rebuilds of other
# checkouts and sanitizer trees cheap; nothing depends on it.
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARK_WITH_GUI=ON "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"
