#!/usr/bin/env bash
# SQLite for the Windows cross-build's archive: Debian's own source package
# (with Debian's patches), of the version the native build links when it can
# be had, made into SQLite's single-file amalgamation (its configure and Tcl
# scripts, the native compiler) and compiled with MinGW-w64. Done once; the
# result is kept in build-windows/sqlite (include/sqlite3.h, lib/libsqlite3.a).
set -euo pipefail
cd "$(dirname "$0")/.."
sqlite=$PWD/build-windows/sqlite
[[ -f $sqlite/lib/libsqlite3.a && -f $sqlite/include/sqlite3.h ]] && exit 0

sudo=()
if [[ $(id -u) != 0 ]]; then sudo=(sudo); fi
source scripts/apt-wait.sh
need=()
command -v x86_64-w64-mingw32-gcc-posix >/dev/null || need+=(gcc-mingw-w64-x86-64-posix)
command -v dpkg-source >/dev/null || need+=(dpkg-dev)
command -v tclsh >/dev/null || need+=(tcl)
command -v make >/dev/null || need+=(make)
command -v gcc >/dev/null || need+=(gcc)
command -v xz >/dev/null || need+=(xz-utils)
if ((${#need[@]})); then
    apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [[ -z $(apt-get source --print-uris sqlite3 2>/dev/null | grep -F .dsc) ]]; then
    # No source lists yet: the archives of the binary lists, for sources.
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        sed -n 's/^Types: deb$/Types: deb-src/;/^Types:/,/^$/p' \
            /etc/apt/sources.list.d/debian.sources |
            "${sudo[@]}" tee /etc/apt/sources.list.d/vark-deb-src.sources >/dev/null
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            "${sudo[@]}" tee /etc/apt/sources.list.d/vark-deb-src.list >/dev/null
    fi
    apt_get update -qq
fi
work=$sqlite.work
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
version=$(dpkg-query -W -f='${Version}' libsqlite3-dev 2>/dev/null || true)
(
    cd "$work"
    apt-get source --download-only "sqlite3${version:+=$version}" >/dev/null 2>&1 ||
        apt-get source --download-only sqlite3 >/dev/null
    dpkg-source -x ./*.dsc src >/dev/null 2>&1
    mkdir build
    cd build
    ../src/configure --disable-tcl >/dev/null
    make sqlite3.c >/dev/null
    x86_64-w64-mingw32-gcc-posix -O2 -c sqlite3.c -o sqlite3.o -DSQLITE_THREADSAFE=1 \
        -DSQLITE_OMIT_LOAD_EXTENSION
    x86_64-w64-mingw32-ar rcs libsqlite3.a sqlite3.o
)
mkdir -p "$sqlite/include" "$sqlite/lib"
cp "$work/build/sqlite3.h" "$sqlite/include/"
cp "$work/build/libsqlite3.a" "$sqlite/lib/"
echo "SQLite $(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$sqlite/include/sqlite3.h") built for Windows from Debian's sources"
