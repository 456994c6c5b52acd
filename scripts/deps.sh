#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Idempotent: asks apt only when something is missing. Further package names
# given as arguments are installed along (a test stage's own needs).
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config
      qt6-base-dev qt6-svg-dev qt6-charts-dev libgl-dev libudev-dev
      libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev libfontconfig-dev
      fonts-liberation poppler-utils xvfb xauth libx11-dev clang-format-14
      umockdev libumockdev-dev libpq-dev postgresql-15 openssl)
pkgs+=("$@")
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    source "$(dirname "$0")/apt-wait.sh"
    echo "installing: ${missing[*]}"
    apt_get update -qq
    apt_get install -y -qq "${missing[@]}" >/dev/null
fi
