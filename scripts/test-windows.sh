#!/usr/bin/env bash
# The Windows stage: cross-builds the record model, the device link (Win32
# back-ends), the report's GDI surface, vark-cli, VARK-u.exe and their tests
# with MinGW-w64 into build-windows/ (programs in build-windows/bin), then
# runs the tests under Wine through CTest, in a private Wine prefix: without
# a display, but for the window tests, which start their own X server. Needs the native build
# (scripts/build.sh) for the simulator and the Linux vark-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v x86_64-w64-mingw32-dlltool >/dev/null || need+=(binutils-mingw-w64-x86-64)
command -v wine >/dev/null || need+=(wine wine64)
[[ -f /usr/src/googletest/CMakeLists.txt ]] || need+=(googletest)
# VARK-u.exe's icons from the SVG ones; its installer; the window tests'
# private X server, window manager, input and screenshots.
command -v rsvg-convert >/dev/null || need+=(librsvg2-bin)
[[ -x /usr/bin/convert ]] || need+=(imagemagick)
command -v makensis >/dev/null || need+=(nsis)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v openbox >/dev/null || need+=(openbox)
command -v xdotool >/dev/null || need+=(xdotool)
command -v ps >/dev/null || need+=(procps)
if ((${#need[@]})); then
    source scripts/apt-wait.sh
    apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

native_bin=$PWD/build/bin
# The native programs the tests run, brought up to date (cheap when they are).
if [[ ! -f build/build.ninja ]]; then
    scripts/build.sh
fi
cmake --build build --target vark-tester-sim vark-cli

scripts/configure-windows.sh "$native_bin"
cmake --build build-windows -j2
scripts/package-windows.sh >/dev/null

# A private prefix, made once; without a warm wineserver the first test hangs.
# Wine makes Unix file names in the locale's character set: without a UTF-8
# locale (a bare machine may set none) no name outside ASCII could be made,
# which Windows itself always can.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEPREFIX=$PWD/build-windows/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver -p 2>/dev/null || true  # already running for this prefix is fine
wineboot -i >/dev/null 2>&1
status=0
# One test at a time: they share one Wine prefix, and the registry keys and COM
# ports that one test writes must not change under another. A hanging test
# fails after a minute; the longer ones carry their own TIMEOUT property.
VARK_SUMMARY_LABEL="windows, under Wine" scripts/ctest-checked.sh --test-dir build-windows \
    --output-on-failure --timeout 60 || status=$?
wineserver -k || true
# Start-up against a bare Win32 dialog: a measurement, reported (target 1.2).
if [[ $status == 0 ]]; then
    echo "Start-up under Wine: $(tests/windows/startup_wine.sh build-windows/bin 2>/dev/null | tail -n1)"
fi
if [[ -f build-windows/upload-timing.txt ]]; then
    echo "100-record upload under Wine: $(cat build-windows/upload-timing.txt)"
fi
if [[ -f build-windows/upload-window-timing.txt ]]; then
    echo "100-record upload in VARK-u.exe: $(cat build-windows/upload-window-timing.txt)"
fi
exit "$status"
