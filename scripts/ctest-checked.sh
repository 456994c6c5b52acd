#!/usr/bin/env bash
# Runs ctest with the given arguments and fails as well when a test skipped
# itself (CI runs as root, and a test that skips there never runs at all) or
# when a sanitizer reported in a test's output, also from a program the test
# started, whatever the test made of that program's status.
# Adds the counts to the test command's summary (scripts/stage-summary.sh),
# labelled VARK_SUMMARY_LABEL or the test folder.
# usage: scripts/ctest-checked.sh CTEST-ARGUMENTS...
set -euo pipefail
source "$(dirname "$0")/stage-summary.sh"
label=${VARK_SUMMARY_LABEL:-}
if [ -z "$label" ]; then
    args=("$@")
    for i in "${!args[@]}"; do
        if [ "${args[$i]}" = --test-dir ] && [ $((i + 1)) -lt ${#args[@]} ]; then
            label=${args[$((i + 1))]}
        fi
    done
fi
junit=$(mktemp)
trap 'rm -f "$junit"' EXIT
status=0
# The whole output of passed tests too, so that their reports can be seen.
# A selection that matches no test is an error, not a pass.
ctest --output-junit "$junit" --test-output-size-passed 4000000 --no-tests=error "$@" \
    || status=$?

# tests_matching REGEX: the names of the tests whose record matches REGEX.
# The pattern goes through the environment: `awk -v` would process the
# backslashes in it.
tests_matching() {
    RE=$1 awk '
        BEGIN { re = ENVIRON["RE"] }
        /<testcase / { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7) }
        $0 ~ re && !(name in seen) { seen[name] = 1; print "  " name }
    ' "$junit"
}
# A skip is marked by ctest, or only said in the output (a test without the
# skip pattern as a property, a QTest skip inside a test program). A test's
# output starts on the line of its <system-out> tag.
skipped=$(tests_matching '<skipped|\[  SKIPPED \]|(^|<system-out>)SKIP   :')
reported=$(tests_matching 'ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer|:[0-9]+:[0-9]+: runtime error: ')
ran=$(grep -cE '<testcase .*status="(run|fail)"' "$junit" || true)
notrun=$(grep -cE '<testcase .*status="(notrun|disabled)"' "$junit" || true)
failed=$(xml_attribute "$junit" testsuite failures)
nskipped=$(printf '%s' "$skipped" | grep -c . || true)
summary_counts "${label:-ctest}" "$ran" "${failed:-?}" "$nskipped"
if [ "$notrun" -gt 0 ]; then
    summary_line "${label:-ctest}: $notrun tests not run"
fi
if [ -n "$skipped" ]; then
    printf 'tests that skipped themselves (none may):\n%s\n' "$skipped"
    status=1
fi
if [ -n "$reported" ]; then
    printf 'sanitizer reports in the output of:\n%s\n' "$reported"
    status=1
fi
exit "$status"
