# Sourced by the window tests: a private X server with a window manager for
# Wine's programs, the driver D, and the clean-up on exit. Expects `bin` (the
# Windows programs' folder) and WINEPREFIX; leaves `work`, a scratch folder.
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all

work=$(mktemp -d)
pids=()
cleanup() {
    # The programs end with the Wine server; the X server last.
    wineserver -k 2>/dev/null || true
    local p
    for p in "${pids[@]}"; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$work"
    # The other Windows tests run without a display: a fresh server for them.
    unset DISPLAY
    wineserver -p 2>/dev/null || true
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [[ -s $work/display ]] && break
    sleep 0.1
done
[[ -s $work/display ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
# Wine's desktop process takes the display of the first program after a restart.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

D() { wine "$bin/vark-win-driver.exe" "$@" | tr -d '\r'; }
state() { D state; }
