#!/usr/bin/env bash
# The Windows stage: cross-builds the record model, the device link (Win32
# back-ends), vark-cli and their tests with MinGW-w64 into build-windows/
# (programs in build-windows/bin), then runs the tests under Wine through
# CTest, in a private Wine prefix without a display. Needs the native build
# (scripts/build.sh) for the simulator and the Linux vark-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
if [[ $(id -u) != 0 ]]; then sudo=(sudo); fi
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v x86_64-w64-mingw32-dlltool >/dev/null || need+=(binutils-mingw-w64-x86-64)
command -v wine >/dev/null || need+=(wine wine64)
[[ -f /usr/src/googletest/CMakeLists.txt ]] || need+=(googletest)
# SQLite's amalgamation is made from Debian's source package (its configure
# and Tcl scripts, the native compiler).
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
command -v tclsh >/dev/null || need+=(tcl)
command -v make >/dev/null || need+=(make)
command -v gcc >/dev/null || need+=(gcc)
if ((${#need[@]})); then
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "${need[@]}" >/dev/null
fi

# SQLite for the archive: Debian's own sources (with Debian's patches), the
# version the native build links when it can be had, made into the
# amalgamation and compiled with MinGW once; kept in build-windows/sqlite.
sqlite=$PWD/build-windows/sqlite
if [[ ! -f $sqlite/lib/libsqlite3.a ]]; then
    if ! apt-get source --print-uris sqlite3 >/dev/null 2>&1 ||
        [[ -z $(apt-get source --print-uris sqlite3 2>/dev/null | grep -F .dsc) ]]; then
        # No source lists yet: the same archives as the binary lists.
        sed -n 's/^Types: deb$/Types: deb-src/;/^Types:/,/^$/p' /etc/apt/sources.list.d/debian.sources \
            2>/dev/null | "${sudo[@]}" tee /etc/apt/sources.list.d/vark-deb-src.sources >/dev/null
        if [[ ! -s /etc/apt/sources.list.d/vark-deb-src.sources ]]; then
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
                "${sudo[@]}" tee /etc/apt/sources.list.d/vark-deb-src.list >/dev/null
            "${sudo[@]}" rm -f /etc/apt/sources.list.d/vark-deb-src.sources
        fi
        "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    fi
    rm -rf "$sqlite.work"
    mkdir -p "$sqlite.work"
    version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null || true)
    (
        cd "$sqlite.work"
        apt-get source --download-only "sqlite3${version:+=$version}" >/dev/null 2>&1 ||
            apt-get source --download-only sqlite3 >/dev/null
        dpkg-source -x ./*.dsc src >/dev/null
        mkdir build
        cd build
        ../src/configure --disable-tcl >/dev/null
        make sqlite3.c >/dev/null
        x86_64-w64-mingw32-gcc-posix -O2 -c sqlite3.c -o sqlite3.o -DSQLITE_THREADSAFE=1 \
            -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DEFAULT_FOREIGN_KEYS=0
        x86_64-w64-mingw32-ar rcs libsqlite3.a sqlite3.o
    )
    mkdir -p "$sqlite/include" "$sqlite/lib"
    cp "$sqlite.work/build/sqlite3.h" "$sqlite/include/"
    cp "$sqlite.work/build/libsqlite3.a" "$sqlite/lib/"
    rm -rf "$sqlite.work"
fi

native_bin=$PWD/build/bin
# The native programs the tests run, brought up to date (cheap when they are).
if [[ ! -f build/build.ninja ]]; then
    scripts/build.sh
fi
cmake --build build --target vark-tester-sim vark-cli

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARK_WITH_GUI=OFF -DVARK_BUILD_BENCH=OFF \
    -DVARK_GTEST_SOURCE=/usr/src/googletest -DVARK_NATIVE_BIN="$native_bin" \
    -DSQLite3_INCLUDE_DIR="$sqlite/include" -DSQLite3_LIBRARY="$sqlite/lib/libsqlite3.a" \
    "${launcher[@]}" >/dev/null
cmake --build build-windows -j2

# A private prefix, made once; without a warm wineserver the first test hangs.
export WINEPREFIX=$PWD/build-windows/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver -p 2>/dev/null || true  # already running for this prefix is fine
wineboot -i >/dev/null 2>&1
status=0
# One test at a time: they share one Wine prefix, and the registry keys and COM
# ports that one test writes must not change under another.
ctest --test-dir build-windows --output-on-failure --timeout 300 --no-tests=error || status=$?
wineserver -k || true
if [[ -f build-windows/upload-timing.txt ]]; then
    echo "100-record upload under Wine: $(cat build-windows/upload-timing.txt)"
fi
exit "$status"
