#!/bin/sh
# The benchmark's files: another user who plants links under the names it
# once used, in the temporary folder or the folder it runs in, must not get
# them followed, and nothing may be left behind.
# usage: private_files_test.sh VARK-BENCH
set -eu
bench=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/temp" "$tmp/work" "$tmp/run"
chmod 700 "$tmp/run"
printf 'precious\n' >"$tmp/victim"
for name in write inplace inplace-2 nosync read; do
    ln -s "$tmp/victim" "$tmp/work/vark-bench-$name.vku"
    ln -s "$tmp/victim" "$tmp/temp/vark-bench-$name.vku"
done
ln -s "$tmp/victim" "$tmp/work/vark-bench-nosync.tmp"
ln -s "$tmp/victim" "$tmp/temp/vark-bench-report.pdf"
filter='RecordFile'
if "$bench" --benchmark_list_tests=true | grep -q Report100ToPdf; then filter='RecordFile|Report100ToPdf'; fi
(cd "$tmp/work" && TMPDIR=$tmp/temp XDG_RUNTIME_DIR=$tmp/run QT_QPA_PLATFORM=offscreen "$bench" \
    --benchmark_filter="$filter" --benchmark_min_time=0.01 >"$tmp/bench.log" 2>&1) ||
    { cat "$tmp/bench.log"; exit 1; }
[ "$(cat "$tmp/victim")" = precious ] || { echo "the benchmark followed a planted link"; exit 1; }
left=$(find "$tmp/work" "$tmp/temp" -mindepth 1 ! -type l)
[ -z "$left" ] || { echo "left behind: $left"; exit 1; }
