#!/usr/bin/env bash
# VARK-u.exe's windows under Wine on a private X server with a window
# manager: the windows are checked by the test driver (vark-win-driver.exe,
# which reads them back through Win32), driven by it and by xdotool's clicks
# and keys. The list, the files and the uploads are compared with the Linux
# programs (NATIVE-BIN: vark-cli and the tester simulator). With a third
# argument the three windows' screenshots are saved there.
# Usage: gui_wine.sh WINDOWS-BIN NATIVE-BIN [SCREENSHOT-DIR]   (WINEPREFIX set)
set -euo pipefail
bin=$1
native=$2
shots=${3:-}
source "$(dirname "$0")/x_session.sh"

expect() { # expect WHAT COMMAND...: the driver's checks must pass
    local what=$1 out
    shift
    out=$(D "$@") || fail "$what: $out"
    echo "ok: $what"
}
app=
start() { # start [EXE-NAME [ARGS]]: starts the program and waits for its window
    wine "${1:-$bin/VARK-u.exe}" "${@:2}" >"$work/app.log" 2>&1 &
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
# Nothing uploaded or opened: Print says so and prints nothing.
click 32773
m=$(D message)
[[ $m == '\n    No Data to print!    \n|VARK-u' ]] || fail "Print of an empty block: $m"
echo "ok: Print of an empty block"
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

# No tester: the connection attempt fails before the dialog shows, and its
# box sits on the main window.
click 32774
m=$(D message)
[[ $m == '\n    Device connection failed!    \n|VARK-u' ]] || fail "Upload without tester: $m"
expect "Upload Data from the toolbar" check-upload
xdotool key Return
sleep 0.5
D wait "Upload Data" 1000 || fail "Enter closed Upload Data"
xdotool key Escape
D gone "Upload Data" || fail "Escape did not close Upload Data"
echo "ok: Upload Data: Enter does nothing, Escape closes it"

# Record files: the seven sample blocks, each opened through the Open button
# and the file dialog, show the rows the Linux program shows for them.
samples=$work/samples
mkdir -p "$samples"
wine "$bin/vark-sample-files.exe" "$(winepath -w "$samples")" >/dev/null ||
    fail "the sample files were not written"
wpath() { winepath -w "$1" | tr -d '\r'; }
# open_file FILE: Open, the file chosen in the dialog, then its path shown.
open_file() {
    D command 1001
    expect "open dialog: filters, no name, no read-only box" file-dialog open "$(wpath "$1")"
    for _ in $(seq 100); do
        [[ $(D path) == "$(wpath "$1")" ]] && return 0
        sleep 0.1
    done
    fail "the path field reads $(D path), not $(wpath "$1"); $(D message 500)"
}
for name in sample production-run one five six hundred-40-pin count-byte-150; do
    if ! "$native/vark-cli" show "$samples/$name.vku" >"$work/$name.linux" 2>"$work/$name.err"; then
        # Refused on Linux (150 records do not fit the block): refused here
        # with the same words, the list kept.
        D rows >"$work/before.win"
        D command 1001
        expect "open dialog" file-dialog open "$(wpath "$samples/$name.vku")"
        m=$(D message)
        [[ $m == "\n    $(cat "$work/$name.err")    \n|VARK-u" ]] || fail "$name: $m"
        D rows | cmp -s - "$work/before.win" || fail "$name: a refused file changed the rows"
        continue
    fi
    open_file "$samples/$name.vku"
    D rows >"$work/$name.win"
    [[ -s $work/$name.win ]] || fail "$name: no rows"
    diff -u "$work/$name.linux" "$work/$name.win" || fail "$name: the rows differ from Linux"
done
echo "ok: the list's rows of the seven sample blocks are those of Linux"

# A refused file says why and leaves rows and path as they were.
printf 'kelvorVARK-u\0\0\0\0' >"$work/other-case.vku"
D command 1001
expect "open dialog" file-dialog open "$(wpath "$work/other-case.vku")"
m=$(D message)
[[ $m == '\n    File data err!    \n|VARK-u' ]] || fail "refused file: $m"
D rows | cmp -s - "$work/hundred-40-pin.linux" || fail "a refused file changed the rows"
[[ $(D path) == "$(wpath "$samples/hundred-40-pin.vku")" ]] || fail "a refused file changed the path"
# Cancelling the dialog changes nothing.
D command 32771
expect "open dialog cancelled" file-dialog open -
sleep 0.5
D rows | cmp -s - "$work/hundred-40-pin.linux" || fail "a cancelled open changed the rows"
echo "ok: a refused file and a cancelled dialog leave the list and the path"

open_file "$samples/sample.vku"
shot VARK-u windows-main.png
# Print reaches the common print dialog; this prefix has no printer, so the
# system says so and the report is not printed: nothing more is said.
click 32773
D wait Print 20000 || fail "Print did not reach the print dialog"
D press Print 1
D gone Print || fail "the print dialog stayed"
[[ $(D message 1000) == "no message box" ]] || fail "Print without a printer said something"
echo "ok: Print reaches the print dialog; without a printer it prints and says nothing"
# Save: the dialog offers the time-stamped name; a name without extension
# gets ".vku"; the file is the opened one byte for byte.
D command 32772
expect "save dialog: filters, time-stamped name, read-only set" \
    file-dialog save "$(wpath "$work/saved")"
for _ in $(seq 100); do
    [[ $(D path) == "$(wpath "$work/saved.vku")" ]] && break
    sleep 0.1
done
[[ $(D path) == "$(wpath "$work/saved.vku")" ]] || fail "after Save the path reads $(D path)"
cmp "$samples/sample.vku" "$work/saved.vku" || fail "the saved file differs"
# The extension in capitals is no record file's: ".vku" is appended.
D command 32772
expect "save dialog" file-dialog save "$(wpath "$work/upper.VKU")"
for _ in $(seq 100); do
    [[ -f $work/upper.VKU.vku ]] && break
    sleep 0.1
done
cmp "$samples/sample.vku" "$work/upper.VKU.vku" || fail "upper.VKU was not saved as upper.VKU.vku"
[[ ! -e $work/upper.VKU ]] || fail "upper.VKU written"
echo "ok: Save writes the block byte for byte, with the extension appended"

# Names beyond the system's ANSI code page are opened and saved as named.
cp "$samples/six.vku" "$work/Prüfung Ω.vku"
open_file "$work/Prüfung Ω.vku"
D rows | cmp -s - "$work/six.linux" || fail "the rows of a file with a Unicode name"
D command 32772
expect "save dialog" file-dialog save "$(wpath "$work/Kopie Ω.vku")"
for _ in $(seq 100); do
    [[ -f "$work/Kopie Ω.vku" ]] && break
    sleep 0.1
done
cmp "$samples/six.vku" "$work/Kopie Ω.vku" || fail "a file with a Unicode name was not saved"
echo "ok: a Unicode file name opened and saved"

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
# Bound to the bridge library at load time: the copy needs it beside it too.
cp "$bin/CP210xManufacturing.dll" "$work/"
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

# The Upload Data dialog against the Linux simulator: its pseudo-terminal is
# COM5 of the prefix, the bridge library lists the tester and the registry
# gives its port, as for vark-cli.exe.
serial="VARK GUI $$"
key="HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_10c4&Pid_ea60\\${serial// /_}"
sims=()
stop_sims() {
    local p
    for p in "${sims[@]}"; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    sims=()
}
trap 'stop_sims; rm -f "$WINEPREFIX/dosdevices/com5"; wine reg delete "$key" /f >/dev/null 2>&1 || true; cleanup' EXIT
# sim ARGS...: a simulator on COM5 in place of any before.
sim() {
    stop_sims
    : >"$work/sim.dev"
    "$native/vark-tester-sim" "$@" >"$work/sim.dev" &
    sims+=($!)
    for _ in $(seq 200); do
        [[ -s $work/sim.dev ]] && break
        sleep 0.05
    done
    [[ -s $work/sim.dev ]] || fail "the simulator did not start"
    ln -sfn "$(head -n1 "$work/sim.dev")" "$WINEPREFIX/dosdevices/com5"
}
printf '10c4 ea60 %s\n' "$serial" >"$work/bridge.txt"
export VARK_BRIDGE_DEVICES
VARK_BRIDGE_DEVICES="Z:$work/bridge.txt"
wine reg add "$key\\Device Parameters" /v PortName /d COM5 /f >/dev/null
sim --records 100
start

# expect_message TEXT OWNER: the next message box, closed with OK.
expect_message() {
    local m
    m=$(D message)
    [[ $m == "$1|$2" ]] || fail "message: \"$m\", not \"$1|$2\""
}
found='\n    Device  connection is successful!    \n'
click 32774
expect_message "$found" VARK-u
s=$(D upload-state)
[[ $s == "refresh=1 upload=1 cancel=1 progress=1 device=Kelvor VARK-u  Port:5" ]] ||
    fail "Upload Data with a tester: $s"
# 100 records at line speed: all buttons off and the bar from 10 up to 200,
# the rows there before the success box, then the buttons back and the bar empty.
D watch-upload 30000 1005 >"$work/watch" || fail "upload: $(cat "$work/watch")"
# Lines before the press took effect are the idle state.
grep -v "^refresh=1 upload=1 cancel=1 progress=1 \|^elapsed_s=" "$work/watch" >"$work/busy" || true
upload_s=$(sed -n 's/^elapsed_s=//p' "$work/watch")
head -n1 "$work/busy" | grep -q "^refresh=0 upload=0 cancel=0 progress=10 " ||
    fail "upload started: $(cat "$work/watch")"
tail -n1 "$work/busy" | grep -q "^refresh=0 upload=0 cancel=0 progress=200 " ||
    fail "upload done: $(cat "$work/watch")"
! grep -qv "^refresh=0 upload=0 cancel=0 " "$work/busy" || fail "a button on: $(cat "$work/watch")"
positions=$(sed 's/.*progress=\([0-9]*\).*/\1/' "$work/busy")
sort -n -c <<<"$positions" || fail "the bar went back: $positions"
# 10 first, rising tens below 200 between (as many as the link reports), 200 last.
(($(wc -l <<<"$positions") >= 3)) || fail "the bar moved only through $(echo $positions)"
! sed '1d;$d' <<<"$positions" | grep -qv '^1\?[2-9]0$\|^1[0-9]0$' ||
    fail "the bar stood between at $(echo $positions)"
D rows >"$work/uploaded.win"
expect_message '\n      Receive success !     \n' "Upload Data"
shot "Upload Data" windows-upload.png
s=$(D upload-state)
[[ $s == "refresh=1 upload=1 cancel=1 progress=1 device=Kelvor VARK-u  Port:5" ]] ||
    fail "after the upload: $s"
sim --records 100 --fast
"$native/vark-cli" upload --port "$(head -n1 "$work/sim.dev")" -o "$work/linux100.vku" \
    --no-archive >/dev/null
"$native/vark-cli" show "$work/linux100.vku" >"$work/uploaded.linux"
diff -u "$work/uploaded.linux" "$work/uploaded.win" || fail "the uploaded rows differ from Linux"
echo "ok: an upload of 100 records: buttons, bar, texts, and the rows of Linux"
# Kept beside the programs for the stage's summary (the line alone takes 6.485 s).
echo "window_upload_s=$upload_s line_s=6.485" | tee "$bin/../upload-window-timing.txt"

# A tester that stops answering: the time-out text, the buttons back, the
# list as it was.
sim --records 100 --fast --stall-after 1000
D press "Upload Data" 1001
expect_message "$found" "Upload Data"
D watch-upload 60000 1005 >"$work/watch" || fail "stall: $(cat "$work/watch")"
expect_message '\n  Receive timeout, Please refresh device!  \n' "Upload Data"
s=$(D upload-state)
[[ $s == "refresh=1 upload=1 cancel=1 progress=1 device=Kelvor VARK-u  Port:5" ]] ||
    fail "after the time-out: $s"
D rows | cmp -s - "$work/uploaded.win" || fail "a failed upload changed the list"
echo "ok: a time-out: its text, the buttons back, the list kept"

# The port cannot be opened: the failure, the connection box, then Upload
# Data refused with its own text.
stop_sims
rm -f "$WINEPREFIX/dosdevices/com5"
D press "Upload Data" 1001
expect_message '\n    Open COM:5 Failed!    \n' "Upload Data"
expect_message "$found" "Upload Data"
D press "Upload Data" 1005
expect_message '\n    Please Refresh Device!    \n' "Upload Data"
s=$(D upload-state)
[[ $s == "refresh=1 upload=1 cancel=1 progress=1 device=Kelvor VARK-u  Port:5" ]] ||
    fail "after the refusal: $s"
echo "ok: a port that cannot be opened, and the refused upload"

D press "Upload Data" 1006
D gone "Upload Data" || fail "Cancel did not close Upload Data"
# The main window takes its input back as the dialog goes: read it once it has.
for _ in $(seq 20); do
    D rows >"$work/after-cancel.win"
    cmp -s "$work/after-cancel.win" "$work/uploaded.win" && break
    sleep 0.25
done
cmp -s "$work/after-cancel.win" "$work/uploaded.win" ||
    fail "the list changed on Cancel: $(diff "$work/uploaded.win" "$work/after-cancel.win" | head -5)"
D command 32778
timeout 30 tail --pid="$app" -f /dev/null || fail "Exit did not end the program"
echo "ok: Cancel, and the received rows stay"
