#!/usr/bin/env bash
# vark-cli.exe under Wine against the Linux tester simulator: the simulator's
# pseudo-terminal is a COM port of the Wine prefix (a dosdevices link), the
# registry holds its "PortName" (written with `wine reg add`), and the stand-in
# bridge library lists the tester. Each case also runs the Linux vark-cli
# against its own simulator: outputs (line ends aside), exit statuses and the
# saved files must be the same.
# Usage: cli_upload_wine.sh WINDOWS-BIN NATIVE-BIN   (WINEPREFIX set and warm)
set -euo pipefail
win=$1
native=$2
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d)
# Archives and settings of the programs run here stay in the work folder.
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
sims=()
serial="VARK E2E $$"
keySerial=${serial// /_}
key="HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60\\$keySerial"

stop_sims() {
    local pid
    for pid in "${sims[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    sims=()
}
cleanup() {
    stop_sims
    rm -f "$WINEPREFIX/dosdevices/com5" "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com8"
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# start_sim NAME ARGS...: starts a simulator; its device lands in $work/NAME.dev.
start_sim() {
    local name=$1
    shift
    "$native/vark-tester-sim" "$@" --log "$work/$name.log" >"$work/$name.dev" &
    sims+=($!)
    local i
    for i in $(seq 200); do
        [[ -s $work/$name.dev ]] && break
        sleep 0.05
    done
    [[ -s $work/$name.dev ]] || fail "simulator $name did not start"
}
device_of() { head -n1 "$work/$1.dev"; }
# map NAME comN: the simulator's pseudo-terminal becomes COMn in the prefix.
map() { ln -sfn "$(device_of "$1")" "$WINEPREFIX/dosdevices/$2"; }

# run DIR OUT PROGRAM ARGS...: runs in DIR; stdout+stderr to OUT without
# carriage returns, the exit status after them.
run() {
    local dir=$1 out=$2
    shift 2
    mkdir -p "$dir"
    local rc=0
    (cd "$dir" && "$@") >"$out.raw" 2>&1 || rc=$?
    tr -d '\r' <"$out.raw" >"$out"
    echo "exit $rc" >>"$out"
}

# same_as_linux CASE SIM-ARGS...: one upload each way, each against its own
# simulator (COM7 for Windows), compared.
same_as_linux() {
    local name=$1
    shift
    start_sim "$name-linux" "$@"
    start_sim "$name-win" "$@"
    map "$name-win" com7
    # The link is compared; each archive would name its own run.
    run "$work/$name/linux" "$work/$name.linux" "$native/vark-cli" upload \
        --port "$(device_of "$name-linux")" -o out.vku --no-archive
    run "$work/$name/win" "$work/$name.win" wine "$win/vark-cli.exe" upload --port COM7 \
        -o out.vku --no-archive
    stop_sims
    diff -u "$work/$name.linux" "$work/$name.win" || fail "$name: outputs differ"
    if [[ -e $work/$name/linux/out.vku || -e $work/$name/win/out.vku ]]; then
        cmp "$work/$name/linux/out.vku" "$work/$name/win/out.vku" || fail "$name: files differ"
    fi
    echo "ok: $name: $(head -n1 "$work/$name.win")"
}

# The tester as discovery finds it: the bridge library's list and the registry.
printf '10c4 ea60 %s\n0403 6001 OTHER\n0403 6015 \033[31mRED\tTAB\n' "$serial" >"$work/bridge.txt"
export VARK_BRIDGE_DEVICES
VARK_BRIDGE_DEVICES="Z:$work/bridge.txt"
wine reg add "$key\\Device Parameters" /v PortName /d COM5 /f >/dev/null

start_sim full --records 100
map full com5
run "$work" "$work/ports" wine "$win/vark-cli.exe" ports
grep -qxF "$(printf 'VID\tPID\tSERIAL\tPORT\tTESTER\tLABEL')" "$work/ports" ||
    fail "ports: $(cat "$work/ports")"
grep -qxF "$(printf '10c4\tea60\t%s\tCOM5\tyes\tVARK-u bridge' "$serial")" "$work/ports" ||
    fail "ports: $(cat "$work/ports")"
grep -qxF "$(printf '0403\t6001\tOTHER\t-\tno\tVARK-u bridge')" "$work/ports" ||
    fail "ports: $(cat "$work/ports")"
# A device's text never drives the terminal nor breaks the columns.
grep -qxF "$(printf '0403\t6015\t\\x1b[31mRED\\x09TAB\t-\tno\tVARK-u bridge')" "$work/ports" ||
    fail "ports escaping: $(cat -A "$work/ports")"
echo "ok: ports"

# 100 records at line speed, the port found by discovery. (A second opener of
# the port is not refused under Wine, which does not apply the sharing mode to
# serial devices; Windows' serial drivers do, so that case is not run here.)
run "$work/full" "$work/full.out" wine "$win/vark-cli.exe" upload -o out.vku \
    --archive archive.sqlite3
grep -qxF "100 records saved to out.vku" "$work/full.out" || fail "upload: $(cat "$work/full.out")"
grep -qE "^archived as run [0-9a-f-]{36}$" "$work/full.out" || fail "upload: $(cat "$work/full.out")"
grep -qxF "exit 0" "$work/full.out" || fail "upload: $(cat "$work/full.out")"
[[ $(stat -c %s "$work/full/out.vku") == $((16 + 24901)) ]] || fail "upload: file size"
echo "ok: upload of 100 records by discovery"

# The same block through Linux is the same file.
start_sim linux100 --records 100 --fast
run "$work/linux100" "$work/linux100.out" "$native/vark-cli" upload \
    --port "$(device_of linux100)" -o out.vku --no-archive
cmp "$work/linux100/out.vku" "$work/full/out.vku" || fail "100 records: files differ"
run "$work" "$work/show.linux" "$native/vark-cli" show full/out.vku
run "$work" "$work/show.win" wine "$win/vark-cli.exe" show full/out.vku
diff -u "$work/show.linux" "$work/show.win" >/dev/null || fail "show: outputs differ"
echo "ok: the file and its rows are those of Linux"

# Reads of what the queue holds bring all of it: a whole reply sent at once
# must arrive without one short read.
start_sim delivery --records 100 --fast
map delivery com8
run "$work" "$work/delivery" wine "$win/vark-line-delivery.exe" 8
grep -qxF "exit 0" "$work/delivery" || fail "delivery: $(cat "$work/delivery")"
echo "ok: delivery: $(head -n1 "$work/delivery")"

# The upload's own time against the line time.
# The uploads above already proved the transfer; this one is a measurement, so
# one failed try on a busy machine is reported and measured again.
run "$work" "$work/timing" wine "$win/vark-upload-timing.exe" 5
if ! grep -q "^upload_s=" "$work/timing"; then
    echo "timing: first try failed: $(tr '\n' ' ' <"$work/timing")"
    run "$work" "$work/timing" wine "$win/vark-upload-timing.exe" 5
fi
grep -q "^upload_s=" "$work/timing" || fail "timing: $(cat "$work/timing")"
echo "timing: $(head -n1 "$work/timing")"
# Kept beside the programs for the stage's summary.
head -n1 "$work/timing" >"$win/../upload-timing.txt"
stop_sims

same_as_linux few --records 3 --fast
same_as_linux stall --records 100 --fast --stall-after 1000
same_as_linux count-above-100 --records 100 --fast --count-byte 150
same_as_linux extra-bytes --records 5 --fast --extra-bytes 700
same_as_linux bad-checksum --records 4 --fast --bad-checksum 1,3

# A COM port that does not exist.
run "$work/none" "$work/none.out" wine "$win/vark-cli.exe" upload --port COM231 -o out.vku
grep -qF "Open COM:231 Failed!" "$work/none.out" && grep -qxF "exit 1" "$work/none.out" ||
    fail "missing port: $(cat "$work/none.out")"
echo "ok: missing port"
