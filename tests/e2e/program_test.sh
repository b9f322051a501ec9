#!/usr/bin/env bash
# Runs the real Carteva under Xvfb with openbox, as a user would: answers the bitmap dialog by
# typing, checks the window's caption and outer geometry, closes it through the window manager
# and checks the calibration file it wrote.
set -euo pipefail

carteva=$(realpath "$1")
work=$(mktemp -d /tmp/carteva-e2e.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then import -window root "/tmp/carteva-e2e-failure.png" 2>/dev/null || true; fi
    exit 1
}

# Waits up to 20 s for a visible window whose name matches; prints its id.
window_named() {
    local id
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# A private X server on the first free display, and a window manager to frame the windows.
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
openbox --sm-disable > "$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done

mkdir -p "$work/maps"
convert -size 300x200 xc:'#c8dcf0' BMP3:"$work/maps/valley map.bmp"

cd "$work"
"$carteva" > "$work/carteva.log" 2>&1 &
carteva_pid=$!
pids+=($carteva_pid)

dialog=$(window_named '^Open bitmap to calibrate$') || fail "the bitmap dialog did not open"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool type --delay 20 "$work/maps/valley map.bmp"
xdotool key Return

# No calibration file yet: the load warning comes up over the window.
warning=$(window_named '^Error$') || fail "the calibration warning did not appear"
xdotool windowactivate --sync "$warning" 2>/dev/null || true
xdotool key Return

main=$(window_named '^Navelin - Carteva$') || fail "the main window is not there"
sleep 0.5
# Outer geometry: the client's, widened by the frame the window manager reports.
client=$(xwininfo -id "$main")
read -r frame_left frame_right frame_top frame_bottom < <(
    xprop -id "$main" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
width=$(awk '/^  Width:/ {print $2}' <<< "$client")
height=$(awk '/^  Height:/ {print $2}' <<< "$client")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<< "$client")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<< "$client")
outer_width=$((width + frame_left + frame_right))
outer_height=$((height + frame_top + frame_bottom))
left=$((x - frame_left))
top=$((y - frame_top))
[ "$outer_width" = 680 ] || fail "outer width $outer_width, expected 680 (300 + 60, raised to 680)"
[ "$outer_height" = 310 ] || fail "outer height $outer_height, expected 310 (200 + 110)"
[ "$left,$top" = "150,80" ] || fail "outer corner at $left,$top, expected 150,80"

xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
for _ in $(seq 100); do kill -0 "$carteva_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$carteva_pid" 2>/dev/null && fail "the window did not close"
status=0
wait "$carteva_pid" || status=$?
[ "$status" = 0 ] || fail "exit status $status"

cali="$work/maps/valley map.cali"
[ -f "$cali" ] || fail "no calibration file written"
expected=$(printf '\x2c\x01\x00\x00\xc8\x00\x00\x00' | od -An -tx1)
actual=$(od -An -tx1 "$cali")
[ "$actual" = "$expected" ] || fail "calibration file holds $actual, expected $expected"
echo "e2e: 1 passed, 0 failed"
