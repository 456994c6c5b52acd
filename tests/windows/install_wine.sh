#!/usr/bin/env bash
# The Windows installer under Wine: a silent install, the installed program
# started through the .vku association with the file as its argument, a
# silent uninstall, and nothing left behind (files, Start-menu entry,
# registry keys). The rows the program shows for the file are those of the
# Linux vark-cli (in NATIVE-BIN).
# Usage: install_wine.sh WINDOWS-BIN INSTALLER NATIVE-BIN
set -euo pipefail
bin=$1
installer=$2
native=$3
[[ -f $installer ]] || { echo "FAIL: no installer $installer (scripts/package-windows.sh)" >&2; exit 1; }
source "$(dirname "$0")/x_session.sh"
# The programs are bound to the bridge maker's library at load time, which
# the installer never carries: the test's stand-in is found on the path.
export WINEPATH
WINEPATH=$(winepath -w "$bin" | tr -d '\r')

drive_c=$WINEPREFIX/drive_c
dir="$drive_c/Program Files/VARK-u"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VARK-u"
keys=('HKLM\Software\Classes\.vku' 'HKLM\Software\Classes\Kelvor.VARKu.RecordFile'
      'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VARK-u')
has_key() { wine reg query "$1" /reg:64 >/dev/null 2>&1; }

timeout 120 wine "$installer" /S || fail "the installer failed"
for f in VARK-u.exe vark-cli.exe uninstall.exe licences/VARK-u.txt licences/GCC-runtime.txt \
    licences/MinGW-w64-runtime.txt; do
    [[ -f $dir/$f ]] || fail "not installed: $f"
done
! find "$dir" -iname 'CP210xManufacturing*' | grep -q . || fail "the bridge stand-in was installed"
[[ -f $menu/VARK-u.lnk ]] || fail "no Start-menu entry"
for k in "${keys[@]}"; do
    has_key "$k" || fail "no registry key $k"
done
wine reg query 'HKLM\Software\Classes\Kelvor.VARKu.RecordFile\shell\open\command' /ve /reg:64 |
    tr -d '\r' | grep -qF '"C:\Program Files\VARK-u\VARK-u.exe" "%1"' ||
    fail "open command: $(wine reg query 'HKLM\Software\Classes\Kelvor.VARKu.RecordFile\shell\open\command' /ve /reg:64)"
echo "ok: silent install: files, Start-menu entry, association, uninstall entry"

# A record file opened the way Explorer opens it: through the association.
wine "$bin/vark-sample-files.exe" "$(winepath -w "$work")" >/dev/null || fail "no sample files"
cp "$work/production-run.vku" "$drive_c/users/Public/sample.vku"
wine start /unix "$drive_c/users/Public/sample.vku" >/dev/null 2>&1 &
pids+=($!)
D wait VARK-u 60000 || fail "the association did not start the program"
# Wine shows a program's Windows command line as its process's arguments.
args=$(ps -eo args | grep -F 'C:\Program Files\VARK-u\VARK-u.exe' | grep -v grep || true)
[[ $args == *'VARK-u.exe '*'\sample.vku' ]] || fail "the program's command line: $args"
# The file is open: its path shown, its rows listed.
for _ in $(seq 100); do
    [[ $(D path) == 'C:\users\Public\sample.vku' ]] && break
    sleep 0.1
done
[[ $(D path) == 'C:\users\Public\sample.vku' ]] || fail "the path field reads $(D path)"
"$native/vark-cli" show "$work/production-run.vku" >"$work/rows.linux"
D rows >"$work/rows.win"
diff -u "$work/rows.linux" "$work/rows.win" || fail "the opened file's rows differ from Linux"
D command 32778
D gone VARK-u 30000 || fail "the installed program did not end"
echo "ok: a .vku file starts the installed program, which opens it and shows its rows"

timeout 120 wine "$dir/uninstall.exe" /S || fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself: wait for it.
for _ in $(seq 120); do
    [[ -e $dir ]] || break
    sleep 0.5
done
[[ ! -e $dir ]] || fail "left behind: $(find "$dir")"
[[ ! -e $menu ]] || fail "Start-menu entry left behind"
for k in "${keys[@]}"; do
    ! has_key "$k" || fail "registry key left behind: $k"
done
echo "ok: silent uninstall leaves nothing"
