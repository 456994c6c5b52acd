#!/bin/sh
# The record-file target writes each input to a scratch file. Another user who
# can guess its name in the temporary folder must not be able to point it
# elsewhere, and nothing may be left behind.
# usage: scratch_file_test.sh TARGET [ARG...]
set -eu
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf 'precious\n' >"$tmp/victim"
# The name the target once used held its process id: the shell plants the
# link under its own id, then becomes the target, which keeps that id.
TMPDIR=$tmp sh -c 'ln -s "$TMPDIR/victim" "$TMPDIR/vark-fuzz-record-$$.vku" && exec "$@"' sh "$@"
[ "$(cat "$tmp/victim")" = precious ] || { echo "the scratch file followed a planted link"; exit 1; }
left=$(find "$tmp" -mindepth 1 ! -name victim ! -name 'vark-fuzz-record-*.vku')
[ -z "$left" ] || { echo "left behind: $left"; exit 1; }
