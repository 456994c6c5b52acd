#!/usr/bin/env bash
# VARK-u.exe's windows under Wine on a private X server with a window
# manager: the windows are checked by the test driver (vark-win-driver.exe,
# which reads them back through Win32), driven by it and by xdotool's clicks
# and keys. With a second argument the three windows' screenshots are saved
# there. Usage: gui_wine.sh WINDOWS-BIN [SCREENSHOT-DIR]   (WINEPREFIX set)
set -euo pipefail
bin=$1
shots=${2:-}
source "$(dirname "$0")/x_session.sh"

expect() { # expect WHAT COMMAND...: the driver's checks must pass
    local what=$1 out
    shift
    out=$(D "$@") || fail "$what: $out"
    echo "ok: $what"
}
app=
start() { # start [EXE-NAME]: starts the program and waits for its window
    wine "${1:-$bin/VARK-u.exe}" >"$work/app.log" 2>&1 &
    app=$!
    pids+=("$app")
    D wait VARK-u 60000 || fail "no main window"
}
click() { # click ID: the toolbar button of that command, with the mouse
    local x y
    read -r x y < <(D button-centre "$1") || fail "no toolbar button $1"
    xdotool mousemove "$x" "$y" click 1
}
shot() { # shot CAPTION FILE: the window with its frame
    [[ -n $shots ]] || return 0
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" | tail -n1)
    sleep 0.5
    import -frame -window "$id" "$shots/$2" || fail "screenshot $2"
}

expect "resources of VARK-u.exe" check-resources "$(winepath -w "$bin/VARK-u.exe")"

start
expect "main window from its template" check-main
shot VARK-u windows-main.png
expect "layout of an 800 x 600 client" resize 800 600
expect "minimum frame size" sizing

click 32777
expect "About from the toolbar" check-about
shot "About VARK-u" windows-about.png
xdotool key Return
D gone "About VARK-u" || fail "Enter did not close About"
D syscommand 16
D wait "About VARK-u" 20000 || fail "the system menu's About did not open"
xdotool key Escape
D gone "About VARK-u" || fail "Escape did not close About"
echo "ok: About from the system menu; Enter and Escape close it"

click 32774
expect "Upload Data from the toolbar" check-upload
shot "Upload Data" windows-upload.png
xdotool key Return
sleep 0.5
D wait "Upload Data" 1000 || fail "Enter closed Upload Data"
xdotool key Escape
D gone "Upload Data" || fail "Escape did not close Upload Data"
echo "ok: Upload Data: Enter does nothing, Escape closes it"

# A second start while the first is minimised: the first comes back to the
# front, and the second ends at once without a window.
D minimize
sleep 1
[[ $(state) == *"iconic=1"* ]] || fail "not minimised: $(state)"
timeout 60 wine "$bin/VARK-u.exe" || fail "the second start failed"
sleep 1
s=$(state)
[[ $s == "mains=1 iconic=0 foreground=VARK-u" ]] || fail "second start: $s"
echo "ok: a second start restores the minimised window and brings it to the front"

# With About open and the window minimised, a second start brings About to
# the front.
D syscommand 16
D wait "About VARK-u" 20000 || fail "About did not open"
D minimize
sleep 1
[[ $(state) == *"iconic=1"* ]] || fail "not minimised: $(state)"
timeout 60 wine "$bin/VARK-u.exe" || fail "the second start failed"
sleep 1
s=$(state)
[[ $s == "mains=1 iconic=0 foreground=About VARK-u" ]] || fail "second start over About: $s"
D close "About VARK-u"
D gone "About VARK-u" || fail "the close box did not close About"
echo "ok: a second start brings the running window's dialog to the front"

# A copy under another name is another program: it runs beside the first.
cp "$bin/VARK-u.exe" "$work/VARK-copy.exe"
wine "$work/VARK-copy.exe" >/dev/null 2>&1 &
copy=$!
pids+=("$copy")
for _ in $(seq 100); do
    [[ $(state) == mains=2* ]] && break
    sleep 0.3
done
[[ $(state) == mains=2* ]] || fail "the renamed copy did not run: $(state)"
D --instance VARK-copy command 32778
timeout 30 tail --pid="$copy" -f /dev/null || fail "the copy did not end on Exit"
echo "ok: a renamed copy runs as a second instance and ends on Exit"

# Exit from the toolbar ends the program.
click 32778
timeout 30 tail --pid="$app" -f /dev/null || fail "Exit did not end the program"
wait "$app" || fail "the program ended with status $?"
[[ $(state) == mains=0* ]] || fail "a window is left: $(state)"
echo "ok: Exit ends the program"
