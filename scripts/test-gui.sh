#!/usr/bin/env bash
# The window program on a real X server with a window manager: a private
# Xvfb display with openbox, the GUI suite (tests/app/gui_test.cpp) run
# against it, both stopped afterwards. Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh openbox xdotool x11-utils dbus at-spi2-core python3-pyatspi

# A session bus of the run's own, for the accessibility bus the tests read
# the window's controls from.
if [ -z "${VARK_GUI_SESSION_BUS:-}" ]; then
    export VARK_GUI_SESSION_BUS=1
    exec dbus-run-session -- "$0" "$@"
fi

if [ ! -f build/build.ninja ]; then
    scripts/build.sh
fi
cmake --build build --target test_gui

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the descriptor.
exec {fd}>"$work/display"
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec {fd}>&-
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# A fresh runtime directory: the program's single-instance names live there.
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is up once it names itself on the root window.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    echo "openbox did not start:" >&2
    cat "$work/openbox.log" >&2
    exit 1
fi

# The accessibility bus runs before the program starts: the toolkit joins it
# only if it is there.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null

source scripts/stage-summary.sh
status=0
QT_QPA_PLATFORM=xcb timeout -k 10 300 build/bin/test_gui --gtest_output="xml:$work/gui.xml" ||
    status=$?
summary_gtest "gui tests, Xvfb with openbox" "$work/gui.xml"
exit "$status"
