#!/usr/bin/env bash
# Configures and builds into build/ (programs in build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARK_WITH_GUI=ON >/dev/null
cmake --build build -j"$(nproc)"
