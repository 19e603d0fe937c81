# Drives the program's windows under Xvfb with xdotool and xwininfo; sourced
# by tools/screenshots.sh and scripts/package-test.sh inside xvfb-run.
# Windows are X ids; every window of the program is titled "Vestrion".

# Polls until the command succeeds, for at most about $1 seconds.
xd_wait_for() {
    local tries=$(($1 * 10))
    shift
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

# The program's visible windows. The search banner is one of them for a
# second after each digit, a thin one.
xd_windows() { xdotool search --onlyvisible --name '^Vestrion$' 2>/dev/null || true; }

# The visible windows as tall as a page: the main window and the detail window.
xd_pages() {
    local id
    for id in $(xd_windows); do
        xwininfo -id "$id" 2>/dev/null | awk -v id="$id" '/Height:/ { if ($2 >= 400) print id }'
    done
}

# A page other than the main window ($1), that is the detail window, if one is shown.
xd_detail() { xd_pages | grep -vx "$1" | head -1; }
# These run through xd_wait_for.
# shellcheck disable=SC2317
{
    xd_has_main() { [ -n "$(xd_pages | head -1)" ]; }
    xd_has_detail() { [ -n "$(xd_detail "$1")" ]; }
    xd_no_detail() { [ -z "$(xd_detail "$1")" ]; }
}

# Starts the program ($@) with no system bus, its output in $XD_OUT (default
# /dev/null), and waits for its main window: sets xd_pid and xd_main.
xd_start() {
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent QT_QPA_PLATFORM=xcb "$@" >"${XD_OUT:-/dev/null}" 2>&1 &
    xd_pid=$!
    xd_wait_for 30 xd_has_main || return 1
    xd_main=$(xd_pages | head -1)
}

xd_stop() {
    kill "$xd_pid" 2>/dev/null || true
    wait "$xd_pid" 2>/dev/null || true
}

# Gives the window the keyboard (there is no window manager) and presses the keys.
xd_press() { xdotool windowfocus --sync "$1" && xdotool key --delay 80 "${@:2}"; }

# Types a code's digits into the window, one key each.
xd_type() {
    local keys=() i
    for ((i = 0; i < ${#2}; i++)); do keys+=("${2:i:1}"); done
    xd_press "$1" "${keys[@]}"
}
