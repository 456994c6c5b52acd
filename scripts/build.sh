#!/usr/bin/env bash
# Configures and builds into build/ (programs in build/bin).
# usage: scripts/build.sh [TARGET...]   (default: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
launcher=()
# A compiler cache, where the machine has one, makes rebuilds of other
# checkouts and sanitizer trees cheap; nothing depends on it.
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# Installing and packaging build only what they install (scripts/package.sh
# names the targets), not the tests and the benchmark.
# A compiler warning fails the build: the test command builds with this script.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARK_WITH_GUI=ON -DVARK_WERROR=ON \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)" ${1:+--target "$@"}
