# Sourced by the test stages. Each run of tests adds one line to the file that
# VARK_TEST_SUMMARY names (when set): what ran, how many tests, how many
# failed and how many skipped. scripts/test.sh prints the lines at the end of
# its log, so that the whole run is seen at once.

# summary_line TEXT...
summary_line() {
    if [ -n "${VARK_TEST_SUMMARY:-}" ]; then
        printf '%s\n' "$*" >>"$VARK_TEST_SUMMARY"
    fi
}

# summary_counts LABEL RAN FAILED SKIPPED
summary_counts() {
    summary_line "$1: $2 tests ran, $3 failed, $4 skipped"
}

# xml_attribute FILE ELEMENT ATTRIBUTE: the number in ATTRIBUTE of the
# first ELEMENT (elements may span lines).
xml_attribute() {
    tr '\n\t' '  ' <"$1" | grep -o "<$2 [^>]*" | head -1 | grep -o " $3=\"[0-9]*\"" |
        head -1 | tr -dc '0-9'
}

# summary_gtest LABEL XML: the counts of a GoogleTest program's XML report
# (--gtest_output=xml:XML); a missing report says the program never finished.
summary_gtest() {
    local label=$1 xml=$2
    if [ ! -s "$xml" ]; then
        summary_line "$label: no test report (the program did not finish)"
        return
    fi
    local ran failed skipped
    ran=$(grep -c '<testcase .*status="run"' "$xml" || true)
    skipped=$(grep -c '<testcase .*result="skipped"' "$xml" || true)
    failed=$(xml_attribute "$xml" testsuites failures)
    summary_counts "$label" "$((ran - skipped))" "${failed:-?}" "$skipped"
}
