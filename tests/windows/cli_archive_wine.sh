#!/usr/bin/env bash
# vark-cli.exe's archive under Wine: the archive in %LOCALAPPDATA% by default,
# imports, a repeat import, list, export byte for byte, amend, void, check,
# backup; and the same archive file read by the Linux vark-cli.
# Usage: cli_archive_wine.sh WINDOWS-BIN NATIVE-BIN   (WINEPREFIX set and warm)
set -euo pipefail
win=$1
native=$2
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY VARK_ARCHIVE

work=$(mktemp -d)
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
cli() { wine "$win/vark-cli.exe" "$@" 2>&1 | tr -d '\r'; }

"$native/vark-cli" save-sample-run run.vku
"$native/vark-cli" save-sample sample.vku
# The default place: %LOCALAPPDATA%\vark-u\archive.sqlite3 of the prefix's user
# (the prefix is kept between runs: the file may hold this run already).
out=$(cli archive import run.vku)
grep -Eq '^run.vku: (already )?archived as run [0-9a-f-]{36}$' <<<"$out" || fail "import: $out"
archive=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/vark-u/archive.sqlite3' | head -1)
[[ -n $archive ]] || fail "no archive under %LOCALAPPDATA%"
echo "ok: import into $archive"

# The rest on an archive of this run's own.
cla() { cli "$@" --archive a.sqlite3; }
out=$(cla archive import run.vku sample.vku --lot L1 --part P)
run=$(sed -n 's/^run.vku: archived as run \([0-9a-f-]*\)$/\1/p' <<<"$out")
[[ -n $run ]] || fail "import: $out"
[[ $(cla archive import run.vku) == "run.vku: already archived as run $run" ]] ||
    fail "second import"
[[ $(cla archive list --format csv | wc -l) == 3 ]] || fail "list: $(cla archive list)"
cla archive export "${run:0:20}" -o back.vku >/dev/null
cmp back.vku run.vku || fail "export differs from the imported file"
echo "ok: list and export"

cla archive amend "$run" --lot L2 --why "wrong lot" >/dev/null || fail "amend"
cla archive void "$run" --why mistake >/dev/null || fail "void"
[[ $(cla archive list --lot L2 --format csv | wc -l) == 1 ]] || fail "a voided run listed"
[[ $(cla archive list --lot L2 --voided --format csv | wc -l) == 2 ]] || fail "voided run lost"
check=$(cla archive check) || fail "check: $check"
grep -q "1 runs (1 voided, 0 repeats), 10 records, 2 amendments" <<<"$check" || fail "check: $check"
cla archive backup copy.sqlite3 >/dev/null || fail "backup"
echo "ok: amend, void, check, backup"

# A part's golden reference, an import compared with it, its yield and Pareto.
cla archive golden set --part H-10 run.vku:1 >/dev/null || fail "golden set"
"$native/vark-cli" save-sample-run again.vku
printf '\x01' | dd of=again.vku bs=1 seek=$((16 + 1 + 249 + 248)) conv=notrunc 2>/dev/null
out=$(cla archive import again.vku --lot L3 --part H-10)
grep -q "compared with golden reference of part H-10 .*: 14 same, 4 differs, 1 other pin count, 1 error" <<<"$out" ||
    fail "import of a part: $out"
out=$(cla archive yield --lot L3 --format csv)
grep -q '"L3",.*,"1","20","14","6","0","0.7000"' <<<"$out" || fail "yield: $out"
out=$(cla archive failures --lot L3)
grep -q "^missing A03-B03"$'\t'"1"$'\t' <<<"$out" || fail "failures: $out"
grep -q "^10 causes in 6 failed records$" <<<"$out" || fail "failures: $out"
"$native/vark-cli" archive yield --lot L3 --format csv --archive a.sqlite3 | tr -d '\r' |
    cmp -s - <(tr -d '\r' <<<"$(cla archive yield --lot L3 --format csv)") ||
    fail "Linux and Windows count the yield differently"
echo "ok: golden reference, yield and failures"

# One file format on both systems: Linux reads what Windows wrote.
"$native/vark-cli" archive check --archive copy.sqlite3 >/dev/null || fail "Linux check of the copy"
"$native/vark-cli" archive export "$run" --archive copy.sqlite3 -o linux.vku >/dev/null
cmp linux.vku run.vku || fail "Linux export of the Windows archive"
# An archive written by a newer program is refused and left as it was.
sqlite3 copy.sqlite3 "INSERT INTO schema_version VALUES (99, 0, 'future')" 2>/dev/null ||
    python3 -c "import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute(\"INSERT INTO schema_version VALUES (99, 0, 'future')\"); c.commit()" copy.sqlite3
before=$(sha256sum <copy.sqlite3)
rc=0
cli archive import sample.vku --archive copy.sqlite3 >newer.out || rc=$?
[[ $rc == 1 ]] || fail "a newer archive was not refused: $(cat newer.out)"
grep -q "newer version" newer.out || fail "newer: $(cat newer.out)"
[[ $(sha256sum <copy.sqlite3) == "$before" ]] || fail "a newer archive was changed"
echo "ok: the Linux program reads it; a newer archive is refused"
