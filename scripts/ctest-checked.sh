#!/usr/bin/env bash
# Runs ctest with the given arguments and fails as well when a test skipped
# itself: CI runs as root, and a test that skips there never runs at all.
# usage: scripts/ctest-checked.sh CTEST-ARGUMENTS...
set -euo pipefail
junit=$(mktemp)
trap 'rm -f "$junit"' EXIT
status=0
ctest --output-junit "$junit" "$@" || status=$?
# A skip is marked by ctest, or only said in the output (a test without the
# skip pattern as a property, a QTest skip inside a test program).
skipped=$(awk '
    /<testcase / { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7) }
    /<skipped|\[  SKIPPED \]|^SKIP   :/ { if (!(name in seen)) { seen[name] = 1; print "  " name } }
' "$junit")
if [ -n "$skipped" ]; then
    echo "tests that skipped themselves (none may):"
    echo "$skipped"
    exit 1
fi
exit "$status"
