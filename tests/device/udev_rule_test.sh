#!/bin/sh
# The udev rule against discovery: it matches the vendors that discovery
# accepts and nothing narrower, says so, and its example of a rule narrowed to
# one product is the rule itself plus the product id, so it works when copied.
# usage: udev_rule_test.sh SOURCE_DIR
set -eu
rules=$1/res/udev/60-vark-u.rules
header=$1/device/bridge_ports.h
fail() { echo "$rules: $*"; exit 1; }

accepted=$(sed -n 's/.*kVendor[A-Za-z]* = 0x\([0-9A-Fa-f]\{4\}\);.*/\1/p' "$header" |
    tr 'A-F' 'a-f' | sort | tr '\n' ' ')
[ -n "$accepted" ] || { echo "$header: no vendor ids found"; exit 1; }
matched=$(grep -v '^#' "$rules" | sed -n 's/.*ATTRS{idVendor}=="\([0-9a-f]*\)".*/\1/p' |
    sort | tr '\n' ' ')
[ "$matched" = "$accepted" ] || fail "matches vendors '$matched', discovery accepts '$accepted'"
if grep -v '^#' "$rules" | grep -q idProduct; then fail "narrower than discovery"; fi

grep -q '^# .*EVERY device of vendor' "$rules" || fail "does not say how broad it is"
example=$(sed -n 's/^#   \(SUBSYSTEM==.*ATTRS{idProduct}=="[0-9a-f]\{4\}".*\)/\1/p' "$rules")
[ "$(printf '%s\n' "$example" | grep -c .)" = 1 ] || fail "no single narrowed example"
broad=$(printf '%s\n' "$example" | sed 's/ ATTRS{idProduct}=="[0-9a-f]\{4\}",//')
grep -qxF "$broad" "$rules" || fail "the narrowed example is not one of the rules plus a product id"
