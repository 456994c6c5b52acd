#!/usr/bin/env bash
# Builds the Windows installer build-windows/VARK-u-VERSION-setup.exe with
# NSIS: VARK-u.exe, vark-cli.exe, the licences, a Start-menu entry, the .vku
# association and an uninstaller. The bridge maker's library is the user's:
# the installer never carries a CP210xManufacturing.dll (ours is a test
# stand-in). Needs the cross-compiler and nsis (scripts/test-windows.sh
# installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v makensis >/dev/null || { echo "package-windows.sh: makensis (nsis) missing" >&2; exit 1; }
[[ -f build-windows/build.ninja ]] || scripts/configure-windows.sh
cmake --build build-windows --target VARK-u vark-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
stage=build-windows/installer
rm -rf "$stage"
mkdir -p "$stage/licences"
cp build-windows/bin/VARK-u.exe build-windows/bin/vark-cli.exe "$stage/"
cp build-windows/win/res/app.ico "$stage/"
# Our notice, and those of the compiler's runtime linked into the programs.
cp res/debian/copyright "$stage/licences/VARK-u.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/GCC-runtime.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licences/MinGW-w64-runtime.txt"
if find "$stage" -iname 'CP210xManufacturing*' | grep -q .; then
    echo "package-windows.sh: the bridge stand-in must not be shipped" >&2
    exit 1
fi
out=build-windows/VARK-u-$version-setup.exe
rm -f "$out.part"
makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DOUTFILE="$PWD/$out.part" win/installer.nsi
mv -f "$out.part" "$out"
echo "$out"
