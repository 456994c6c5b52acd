#!/usr/bin/env bash
# Builds and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -x build/bin/VARK-u ]; then
    exec build/bin/VARK-u "$@"
fi
exec build/bin/vark-cli "$@"
