# SPDX-License-Identifier: GPL-2.0-or-later
# A private X session for the scripts and tests that drive the real program: Xvfb on the first free
# display and openbox to frame the windows, as on a desktop. Source it, then call
#   start_x_session WIDTHxHEIGHT [--no-wm]
# with $work a scratch folder and `pids` an array that the caller's clean-up kills. It exports
# DISPLAY and calls the caller's `fail` when the server does not start.

start_x_session() {
    local screen=$1 wm=${2:-}
    exec 3> "$work/display"
    # -noreset: the server must not start over when its last client goes, under a window
    # manager that is just starting again.
    Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset > "$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    exec 3>&-
    export DISPLAY=":$(head -n 1 "$work/display")"
    # A loaded machine can take a while before the server answers its first client.
    for _ in $(seq 300); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
    # No session bus here: Qt must not wait for one.
    export DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1
    [ "$wm" = --no-wm ] && return 0
    start_window_manager
}

# Starts openbox (again, should it have ended) and waits until it manages the screen and is still
# there a moment later; sets wm_pid. A busy machine has seen openbox end early, saying it could not
# open the display, and windows that came up then stayed without a frame: it gets three tries.
start_window_manager() {
    local try
    for try in 1 2 3; do
        openbox --sm-disable >> "$work/openbox.log" 2>&1 &
        wm_pid=$!
        pids+=($wm_pid)
        for _ in $(seq 300); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
            kill -0 "$wm_pid" 2>/dev/null || break
            sleep 0.1
        done
        sleep 0.5
        if kill -0 "$wm_pid" 2>/dev/null \
            && xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window; then
            return 0
        fi
        echo "openbox ended at start (try $try): $(cat "$work/openbox.log")" >&2
    done
    fail "openbox did not start"
}

# Waits up to SECONDS (default 60: a loaded machine starts Qt slowly) for a visible window whose
# name matches; prints its id.
window_named() {
    local id
    for _ in $(seq $((${2:-60} * 10))); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
