#!/usr/bin/env bash
# Package stage: builds the Debian package, checks it with Debian's and
# freedesktop's own validators, installs it for real, runs the installed
# programs from their installed paths, removes it and checks that nothing is
# left behind. Installing needs root (CI runs as root on a throw-away
# machine); a vark-u already installed here is left alone and stops the stage.
set -euo pipefail
cd "$(dirname "$0")/.."
# Its checks are steps of one script; the first that fails stops the stage.
source scripts/stage-summary.sh

scripts/deps.sh lintian desktop-file-utils appstream libxml2-utils shared-mime-info \
    xdg-utils libfile-mimeinfo-perl udev file dpkg-dev poppler-utils

# Other apt users on the machine are waited for (apt_get).
source scripts/apt-wait.sh

pkg=vark-u
id=com.kelvor.vark_u
mime=application/x-vark-u
version=$(sed -n 's/^project(VARK-u VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
fail() {
    echo "test-package: $*" >&2
    summary_line "package: failed in step ${steps:-0}: $*"
    exit 1
}
step_start=$SECONDS
steps=0
step() {
    steps=$((steps + 1))
    echo "--- $* (at $((SECONDS - step_start)) s)"
}

if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
    fail "$pkg is installed on this machine already; remove it first (apt-get purge $pkg)"
fi

work=$(mktemp -d)
installed=0
app_pid=""
sim_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
    if [ "$installed" = 1 ]; then apt_get purge -y -qq "$pkg" >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

step "build"
start=$SECONDS
deb=$(scripts/package.sh | tail -1)
echo "$deb ($((SECONDS - start)) s)"
[ "$(find build/package -maxdepth 1 -name '*.deb' | wc -l)" = 1 ] || fail "not exactly one .deb"

step "control fields and contents"
[ "$(dpkg-deb -f "$deb" Package)" = "$pkg" ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for d in fonts-liberation libqt6widgets6 libqt6printsupport6 libsqlite3-0 libc6; do
    grep -qw "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for f in usr/bin/VARK-u usr/bin/vark-cli usr/bin/vark-tester-sim \
    usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
    usr/share/mime/packages/$pkg.xml usr/share/icons/hicolor/scalable/apps/$id.svg \
    usr/lib/udev/rules.d/60-vark-u.rules usr/share/man/man1/VARK-u.1.gz \
    usr/share/man/man1/vark-cli.1.gz usr/share/man/man1/vark-tester-sim.1.gz \
    usr/share/doc/$pkg/copyright usr/share/doc/$pkg/changelog.gz; do
    grep -qx "./$f" "$work/contents" || fail "package lacks /$f"
done
for script in postinst postrm; do
    dpkg-deb -I "$deb" "$script" >/dev/null || fail "no $script"
done

step "lintian"
# Errors fail the stage; warnings and notes are shown.
lint=0
lintian --fail-on error --info "$deb" >"$work/lintian.txt" 2>&1 || lint=$?
grep -v 'running with root privileges' "$work/lintian.txt" || true
[ "$lint" = 0 ] || fail "lintian reports errors"

step "freedesktop validators"
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
appstreamcli validate-tree --no-net "$root"
xmllint --noout "$root/usr/share/mime/packages/$pkg.xml"
# shared-mime-info's own compiler is the strict reader: it says what it
# cannot use on standard error (and still exits 0).
mkdir -p "$work/mime/packages"
cp "$root/usr/share/mime/packages/$pkg.xml" "$work/mime/packages/"
XDG_DATA_DIRS=$work update-mime-database "$work/mime" 2>"$work/mime.err" || fail "update-mime-database"
[ ! -s "$work/mime.err" ] || fail "update-mime-database: $(cat "$work/mime.err")"
grep -q "KelvorVARK-u" "$work/mime/magic" || fail "the magic did not reach the MIME database"
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/$id.desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon named $icon"

step "install"
apt_get install -y -qq "./$deb" >/dev/null
installed=1
dpkg -L "$pkg" >"$work/files"

step "installed programs"
cd "$work"
# The archive and the settings of this run stay in the work folder.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
unset VARK_ARCHIVE
[ "$(command -v VARK-u)" = /usr/bin/VARK-u ] || fail "VARK-u is not on the PATH as /usr/bin/VARK-u"
cli_version=$(/usr/bin/vark-cli --version) && [ "$cli_version" = "vark-cli $version" ] ||
    fail "vark-cli --version says \"$cli_version\", not \"vark-cli $version\""
/usr/bin/vark-cli save-sample sample >/dev/null
/usr/bin/vark-cli show sample.vku >show.txt
[ "$(wc -l <show.txt)" -gt 0 ] || fail "vark-cli show printed nothing"
awk -F'\t' 'NF != 8 { bad = 1 } END { exit bad }' show.txt || fail "vark-cli show: rows without 8 cells"
# The report's Arial is found as Liberation Sans, from the fonts dependency.
/usr/bin/vark-cli report sample.vku -o report.pdf
pdffonts report.pdf | grep -q LiberationSans || fail "the report does not use Liberation Sans"
/usr/bin/vark-tester-sim --records 3 >sim.txt 2>sim.log &
sim_pid=$!
for _ in $(seq 50); do [ -s sim.txt ] && break; sleep 0.1; done
/usr/bin/vark-cli upload --port "$(head -1 sim.txt)" -o uploaded >/dev/null 2>upload.err ||
    fail "upload from the installed simulator: $(cat upload.err sim.log)"
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=""
[ "$(/usr/bin/vark-cli show uploaded.vku | wc -l)" = 3 ] || fail "uploaded records"
# The upload went to the archive too, and comes back out byte for byte.
[ "$(/usr/bin/vark-cli archive list --format csv | wc -l)" = 2 ] || fail "the upload was not archived"
run=$(/usr/bin/vark-cli archive list --format csv | sed -n '2s/^"\([^"]*\)".*/\1/p')
/usr/bin/vark-cli archive export "$run" -o exported.vku >/dev/null || fail "archive export"
cmp -s exported.vku uploaded.vku || fail "the archived run does not export as the uploaded file"
/usr/bin/vark-cli archive check >/dev/null || fail "archive check"

[ "$(/usr/bin/VARK-u --version)" = "VARK-u $version" ] || fail "VARK-u --version"
/usr/bin/VARK-u --help | grep -q FILE || fail "VARK-u --help"
status=0
/usr/bin/VARK-u --no-such-option 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "VARK-u with a wrong option exits $status, not 2"

# The window program, headless, opens the file on its command line; a second
# start hands a renamed copy to it.
cp sample.vku renamed
mkdir -m 700 run
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
rows=$(wc -l <show.txt)
QT_LOGGING_RULES="vark.instance.info=true" /usr/bin/VARK-u sample.vku 2>app.log &
app_pid=$!
wait_log() {
    for _ in $(seq 200); do
        grep -qF "$1" app.log && return 0
        sleep 0.1
    done
    cat app.log >&2
    fail "VARK-u did not log: $1"
}
wait_log "file opened: \"$work/sample.vku\", $rows rows"
/usr/bin/VARK-u renamed || fail "the second start did not exit 0"
wait_log "file opened: \"$work/renamed\", $rows rows"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""

step "desktop integration"
for f in sample.vku renamed; do
    got=$(xdg-mime query filetype "$f")
    [ "$got" = "$mime" ] || fail "xdg-mime names $got for $f"
done
grep -q "^$mime=.*$id.desktop" /usr/share/applications/mimeinfo.cache ||
    fail "the desktop database does not offer $id.desktop for $mime"
# udev reads the installed rule and accepts every line of it (any tty device
# will do: udev reads all rules before it looks at the device).
tty=$(find /sys/class/tty -mindepth 1 -maxdepth 1 | head -1)
[ -n "$tty" ] || fail "no tty device for udevadm test"
udevadm test "$tty" >/dev/null 2>udev.log || true
grep -q "Reading rules file: /usr/lib/udev/rules.d/60-vark-u.rules" udev.log ||
    fail "udev does not read the installed rule"
if grep "60-vark-u.rules:" udev.log; then fail "udev finds fault with the rule"; fi

step "remove"
cd - >/dev/null
apt_get purge -y -qq "$pkg" >/dev/null
installed=0
left=0
while read -r f; do
    # Shared folders (/usr/bin, ...) stay; anything of the package's own goes.
    if [ -e "$f" ] && { [ ! -d "$f" ] || [[ "$f" == */$pkg ]]; }; then
        echo "left behind: $f" >&2
        left=1
    fi
done <"$work/files"
[ "$left" = 0 ] || fail "files left behind"
[ ! -e "/usr/share/mime/${mime}.xml" ] || fail "the MIME type stays in the database"
[ "$(xdg-mime query filetype "$work/renamed")" != "$mime" ] || fail "xdg-mime still knows $mime"
if grep -q "$id" /usr/share/applications/mimeinfo.cache 2>/dev/null; then
    fail "the desktop database still names $id"
fi
if dpkg-query -W "$pkg" >/dev/null 2>&1; then fail "dpkg still lists $pkg"; fi
echo "package stage passed"
summary_line "package: $steps steps of checks passed, none skipped"
