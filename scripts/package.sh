#!/usr/bin/env bash
# Builds the Debian package of the programs: exactly one .deb in
# build/package/ (vark-u_VERSION_ARCH.deb). Reuses build/.
set -euo pipefail
cd "$(dirname "$0")/.."
# file and dpkg-shlibdeps (dpkg-dev) work out the libraries it depends on.
scripts/deps.sh file dpkg-dev
scripts/build.sh VARK-u vark-cli vark-tester-sim vark-install-files
rm -rf build/package
cpack --config build/CPackConfig.cmake -B build/package >/dev/null
# CPack's staging tree is of no use once the package is made.
rm -rf build/package/_CPack_Packages
debs=(build/package/*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package.sh: expected one .deb in build/package, found: ${debs[*]}" >&2
    exit 1
fi
echo "${debs[0]}"
