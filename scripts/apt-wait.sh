# Sourced by the scripts that install packages.
#
# apt_get ARGS...: apt-get, through sudo when not root, that waits for another
# apt or dpkg at work (unattended upgrades, a desktop's updater) instead of
# failing. apt's own option waits for dpkg's locks; the package lists' and the
# download folder's locks are not covered by it, so a run that could not get
# one of those is tried again. Gives up after ten minutes.
apt_get() {
    local sudo=() err status deadline=$((SECONDS + 600))
    if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
    err=$(mktemp)
    while :; do
        status=0
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 "$@" \
            2>"$err" || status=$?
        if [ "$status" -eq 0 ] || [ "$SECONDS" -ge "$deadline" ] ||
            ! grep -q 'Could not get lock' "$err"; then
            break
        fi
        echo "apt-get $1: waiting for another package manager: $(grep -m1 'Could not get lock' "$err")" >&2
        sleep 5
    done
    cat "$err" >&2
    rm -f "$err"
    return "$status"
}
