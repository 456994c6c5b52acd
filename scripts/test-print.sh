#!/usr/bin/env bash
# Printing through a real print system, on purpose and in private: starts a
# CUPS server of its own (own configuration folder and socket, nothing shared
# with the machine's printers) with a cups-pdf queue as its default printer,
# then
#  1. runs the ordinary print tests against it: they must print to a file,
#     so the queue must stay empty;
#  2. prints the report from the window through the print dialog to the queue
#     and reads back the PDF that comes out.
# Needs root (cupsd and the cups-pdf backend run as root). Stops its server
# and removes what it made on every exit.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
    echo "test-print.sh needs root: cupsd and the cups-pdf backend run as root" >&2
    exit 1
fi

pkgs=(cups cups-client cups-filters printer-driver-cups-pdf ghostscript poppler-utils)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    source scripts/apt-wait.sh
    apt_get update -qq
    apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
source scripts/stage-summary.sh

# The test programs, brought up to date (cheap when they are).
if [ ! -f build/build.ninja ]; then
    scripts/build.sh
fi
cmake --build build --target test_app test_print_system

work=$(mktemp -d /tmp/vark-cups.XXXXXX)
chmod 0755 "$work"
queue="vark-test-$$"
pdfconf="/etc/cups/cups-pdf-$queue.conf"  # cups-pdf reads its queue's settings only from here
cupsd_pid=""
cleanup() {
    if [ -n "$cupsd_pid" ]; then kill "$cupsd_pid" 2>/dev/null || true; wait "$cupsd_pid" 2>/dev/null || true; fi
    rm -f "$pdfconf"
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work"/{conf/ppd,spool,cache,state,log,tmp,out,pdfspool}
chmod 0777 "$work/out" "$work/pdfspool"
chmod 1777 "$work/tmp"
sock="$work/cups.sock"
cat >"$work/conf/cupsd.conf" <<CONF
Listen $sock
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$work/conf/cups-files.conf" <<CONF
ServerRoot $work/conf
RequestRoot $work/spool
CacheDir $work/cache
StateDir $work/state
TempDir $work/tmp
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
SystemGroup root
FileDevice No
Sandboxing Relaxed
CONF
cat >"$pdfconf" <<CONF
Out $work/out
AnonDirName $work/out
Spool $work/pdfspool
Log $work/log
Grp root
CONF

cupsd -f -c "$work/conf/cupsd.conf" -s "$work/conf/cups-files.conf" &
cupsd_pid=$!
export CUPS_SERVER="$sock"
for _ in $(seq 50); do
    lpstat -r >/dev/null 2>&1 && break
    sleep 0.2
done
lpstat -r
lpadmin -p "$queue" -E -v "cups-pdf:/$queue" -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
# Ghostscript keeps the text of the PDF readable on its way through PostScript.
lpadmin -p "$queue" -o pdftops-renderer-default=gs
lpadmin -d "$queue"
lpstat -d

jobs_done() { lpstat -W completed -o "$queue" 2>/dev/null | wc -l; }

# 1. The ordinary print tests, with this queue as the machine's default printer.
# A hanging test program is stopped rather than waited for.
status=0
QT_QPA_PLATFORM=offscreen timeout -k 10 300 build/bin/test_app \
    --gtest_filter='PrintCommand.*:PrintDialog*' --gtest_output="xml:$work/print-tests.xml" \
    | tee "$work/print-tests.log" || status=$?
summary_gtest "print tests, private default printer" "$work/print-tests.xml"
[ "$status" = 0 ] || exit "$status"
# A filter that matches nothing passes in GoogleTest: some test must have run.
if ! grep -Eq '^\[==========\] Running [1-9][0-9]* tests? ' "$work/print-tests.log"; then
    echo "no print test ran" >&2
    exit 1
fi
sleep 1
if [ "$(jobs_done)" -ne 0 ] || [ -n "$(ls -A "$work/out")" ] || [ -n "$(lpstat -o "$queue")" ]; then
    echo "the print tests sent jobs to the default printer:" >&2
    lpstat -W all -o "$queue" >&2 || true
    exit 1
fi

# 2. The window prints to the queue through the dialog; the PDF comes back.
status=0
QT_QPA_PLATFORM=offscreen VARK_PRINT_QUEUE="$queue" VARK_PRINT_OUT="$work/out" \
    timeout -k 10 300 build/bin/test_print_system --gtest_output="xml:$work/print-system.xml" ||
    status=$?
summary_gtest "print system, through the queue" "$work/print-system.xml"
exit "$status"
