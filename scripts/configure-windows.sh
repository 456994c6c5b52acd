#!/usr/bin/env bash
# Configures the MinGW-w64 cross-build in build-windows/ (programs in
# build-windows/bin), for the Windows stage and the Windows installer.
# A compiler warning fails the build.
# usage: scripts/configure-windows.sh [NATIVE-BIN]   (the simulator's folder)
set -euo pipefail
cd "$(dirname "$0")/.."
# The archive's SQLite, built from Debian's sources once.
scripts/sqlite-windows.sh
sqlite=$PWD/build-windows/sqlite
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARK_WITH_GUI=OFF -DVARK_BUILD_BENCH=OFF \
    -DVARK_GTEST_SOURCE=/usr/src/googletest ${1:+-DVARK_NATIVE_BIN="$1"} -DVARK_WERROR=ON \
    -DSQLite3_INCLUDE_DIR="$sqlite/include" -DSQLite3_LIBRARY="$sqlite/lib/libsqlite3.a" \
    "${launcher[@]}" >/dev/null
