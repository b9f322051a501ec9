#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs the real Carteva under Xvfb with openbox, as a user would: answers the bitmap dialog by
# typing, checks the window's caption and outer geometry, sets two calibration points with the
# mouse and keyboard, overlays a GPX file through the real dialog, checks the red and orange pixels
# in a screenshot, closes the window through the window manager and checks the calibration file;
# later runs save a point, remove it through the picture's right-button menu and undo that, end by
# SIGTERM, and at scale 2 click the lower-right quarter of a picture pixel; two windows on one map
# press Save at nearly the same moment and the file keeps both points.
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
    if [ -n "${carteva_pid:-}" ]; then
        kill -0 "$carteva_pid" 2>/dev/null || echo "(Carteva is no longer running)" >&2
        echo "--- Carteva's output:" >&2
        cat "$work/carteva.log" >&2 2>/dev/null || true
    fi
    if [ -n "${DISPLAY:-}" ]; then import -window root "/tmp/carteva-e2e-failure.png" 2>/dev/null || true; fi
    exit 1
}

# A private X server with a window manager to frame the windows.
source "$(dirname "$0")/../../scripts/xsession.sh"
start_x_session 1600x1200

mkdir -p "$work/maps"
# Remembered choices (the mapping, the points window's place) stay in the scratch folder.
export XDG_CONFIG_HOME="$work/config"
convert -size 300x200 xc:'#c8dcf0' BMP3:"$work/maps/valley map.bmp"

cd "$work"
start_carteva() {
    "$carteva" >> "$work/carteva.log" 2>&1 &
    carteva_pid=$!
    pids+=($carteva_pid)
}
# Answers the bitmap dialog $dialog by typing the map's path.
open_map() {
    xdotool windowactivate --sync "$dialog" 2>/dev/null || true
    sleep 0.5
    xdotool type --delay 20 "$work/maps/valley map.bmp"
    xdotool key Return
}
start_carteva
if ! dialog=$(window_named '^Open bitmap to calibrate$'); then
    # A machine loaded by other work can leave a first start without a window; once more.
    echo "no window after the first start; starting again" >&2
    import -window root "/tmp/carteva-e2e-first-start.png" 2>/dev/null || true
    kill "$carteva_pid" 2>/dev/null || true
    start_carteva
    dialog=$(window_named '^Open bitmap to calibrate$') || fail "the bitmap dialog did not open"
fi
open_map

# No calibration file yet: the load warning comes up over the window.
warning=$(window_named '^Error$') || fail "the calibration warning did not appear"
xdotool windowactivate --sync "$warning" 2>/dev/null || true
xdotool key Return

main=$(window_named '^Navelin - Carteva$') || fail "the main window is not there"
sleep 0.5
# Outer geometry: the client's, widened by the frame the window manager reports (a loaded machine
# may frame the window late, and the window then sizes itself again). Every visible window of that
# name is asked: a loaded machine has shown one that was never framed.
framed() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Navelin - Carteva$' 2>/dev/null); do
        extents=$(xprop -id "$id" _NET_FRAME_EXTENTS)
        [[ $extents == *=* ]] && { main=$id; return 0; }
    done
    return 1
}
for i in $(seq 300); do
    framed && break
    sleep 0.1
    # Seen twice on a busy machine: the window stayed without a frame, as if openbox had gone.
    if [ "$i" = 100 ] && ! kill -0 "$wm_pid" 2>/dev/null; then
        echo "openbox ended; starting it again. Its output: $(cat "$work/openbox.log")" >&2
        start_window_manager
    fi
done
[[ $extents == *=* ]] \
    || fail "the window manager did not frame the window: $extents; openbox: $(cat "$work/openbox.log")"
sleep 0.3
client=$(xwininfo -id "$main")
read -r frame_left frame_right frame_top frame_bottom < <(sed 's/.*= //; s/,//g' <<< "$extents")
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

# Screen position of a point of the window's client area.
scale=1
at() { echo $((x + scale * $1)) $((y + scale * $2)); }
# A picture pixel, through the picture view at 16,58.
pixel_at() { at $((16 + $1)) $((58 + $2)); }
# The colour of a picture pixel in a fresh screenshot, as r,g,b.
colour_at() {
    local px py
    read -r px py < <(pixel_at "$1" "$2")
    convert "$work/screen.png" -crop "1x1+$px+$py" -depth 8 txt:- | tail -n 1 |
        sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
}
screenshot() { import -window root "$work/screen.png"; }
type_into() {
    xdotool mousemove $(at "$1" "$2") click 1
    xdotool key ctrl+a BackSpace
    xdotool type --delay 20 "$3"
}
save_point() { # picture x, y, latitude, longitude[, screen pixels right and down into the pixel]
    local px py
    read -r px py < <(pixel_at "$1" "$2")
    xdotool mousemove $((px + ${5:-0})) $((py + ${5:-0}))
    sleep 0.2
    xdotool click 1
    sleep 0.2
    type_into 250 21 "$3" # edLat
    type_into 320 21 "$4" # edLon
    xdotool mousemove $(at 395 21) click 1 # Save
    sleep 0.3
}

xdotool windowactivate --sync "$main" 2>/dev/null || true
save_point 40 50 50.5 14.25
save_point 240 170 49.5 15.25
screenshot
[ "$(colour_at 40 50)" = "255,0,0" ] || fail "no red mark at 40,50: $(colour_at 40 50)"
[ "$(colour_at 39 50)" = "255,0,0" ] || fail "no red arm at 39,50"
[ "$(colour_at 240 171)" = "255,0,0" ] || fail "no red mark at 240,171"
[ "$(colour_at 41 51)" = "200,220,240" ] || fail "the mark is not a plus: $(colour_at 41 51)"

# Two waypoints half-way and a quarter-way between the points: pixels 140,110 and 90,80.
cat > "$work/maps/trip.gpx" <<'GPX'
<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="e2e" xmlns="http://www.topografix.com/GPX/1/1">
  <wpt lat="50.0" lon="14.75"><ele>200</ele><name>half</name></wpt>
  <wpt lat="50.25" lon="14.5"><name>quarter</name></wpt>
</gpx>
GPX
xdotool mousemove $(at 504 21) click 1 # GPX
gpx_dialog=$(window_named '^Open GPX$') || fail "the GPX dialog did not open"
xdotool windowactivate --sync "$gpx_dialog" 2>/dev/null || true
sleep 0.5
xdotool type --delay 20 "$work/maps/trip.gpx"
xdotool key Return
sleep 1
screenshot
[ "$(colour_at 140 110)" = "255,128,0" ] || fail "no orange waypoint at 140,110: $(colour_at 140 110)"
[ "$(colour_at 90 80)" = "255,128,0" ] || fail "no orange waypoint at 90,80: $(colour_at 90 80)"
[ "$(colour_at 141 110)" = "200,220,240" ] || fail "a waypoint is more than one pixel"

# Waits up to 10 s for Carteva to end, which must be with status 0.
ends_with_status_0() { # what ends it
    for _ in $(seq 100); do kill -0 "$carteva_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$carteva_pid" 2>/dev/null && fail "$1 did not end Carteva"
    local status=0
    wait "$carteva_pid" || status=$?
    [ "$status" = 0 ] || fail "exit status $status after $1"
}
cali="$work/maps/valley map.cali"
cali_holds() { # expected bytes in hexadecimal, when
    local actual
    actual=$(od -An -tx1 -v "$cali" | tr -d ' \n')
    [ "$actual" = "$1" ] || fail "$2 the calibration file holds $actual, expected $1"
}

xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key alt+F4
ends_with_status_0 "closing the window"

# The header, then both records exactly: X, Y, latitude, zero gap, longitude, zero gap.
[ -f "$cali" ] || fail "no calibration file written"
expected=2c010000c8000000
expected+=280000003200000000000000000000ca044000000000000000000000000000e40240000000000000
expected+=f0000000aa00000000000000000000c6044000000000000000000000000000f40240000000000000
cali_holds "$expected" "after the close"

# A second run on the same map: Save writes the file at once, and SIGTERM (a shutdown, say) closes
# the window as its close box does: status 0 and every point in the file.
# Starts Carteva on the map again, which now has its calibration file; sets main, x and y.
reopen_map() { # which run
    start_carteva
    dialog=$(window_named '^Open bitmap to calibrate$') || fail "no bitmap dialog in the $1 run"
    open_map
    main=$(window_named '^Navelin - Carteva$') || fail "no main window in the $1 run"
    sleep 0.5
    client=$(xwininfo -id "$main")
    x=$(awk '/Absolute upper-left X:/ {print $4}' <<< "$client")
    y=$(awk '/Absolute upper-left Y:/ {print $4}' <<< "$client")
    xdotool windowactivate --sync "$main" 2>/dev/null || true
}
reopen_map second
save_point 100 60 50.25 14.5
two_points=$expected
expected+=640000003c00000000000000000000c9044000000000000000000000000000e80240000000000000
cali_holds "$expected" "after Save"

# A right click on the new mark's arm offers to remove it; the file and the picture lose it, and
# Ctrl+Z brings both back.
xdotool mousemove $(pixel_at 101 60)
sleep 0.2
xdotool click 3
sleep 0.5
xdotool key Down Down Return # "Points…", then "Remove point 100 x 60"
sleep 0.5
cali_holds "$two_points" "after removing a point"
xdotool mousemove $(at 300 -30) # off the window, so that nothing covers the picture
sleep 0.3
screenshot
for p in "100 60" "101 60" "99 60" "100 61" "100 59"; do
    [ "$(colour_at $p)" = "200,220,240" ] || fail "the removed mark is still at $p: $(colour_at $p)"
done
[ "$(colour_at 40 50)" = "255,0,0" ] || fail "the mark at 40,50 went with the removed one"
xdotool key ctrl+z
sleep 0.5
cali_holds "$expected" "after undoing the removal"
screenshot
[ "$(colour_at 100 60)" = "255,0,0" ] || fail "undo did not bring the mark back: $(colour_at 100 60)"
[ "$(colour_at 100 59)" = "255,0,0" ] || fail "undo did not bring the mark's arm back"
kill -TERM "$carteva_pid"
ends_with_status_0 SIGTERM
cali_holds "$expected" "after SIGTERM"

# Scale 2: a picture pixel is 2 x 2 screen pixels, and a click on the lower-right one of them
# still picks that pixel, here 200,150.
QT_SCALE_FACTOR=2 reopen_map third
scale=2
save_point 200 150 49.75 15 1
xdotool key alt+F4
ends_with_status_0 "closing the window at scale 2"
fourth=$(od -An -tx1 -v -j 128 -N 8 "$cali" | tr -d ' \n')
[ "$fourth" = c800000096000000 ] || fail "the click at scale 2 stored pixel $fourth, expected 200,150"
# Two windows on one map, side by side, press Save at nearly the same moment, then both close: the
# file holds both points. The second start warns that the map is open already; each save takes the
# file's lock, so the later one merges what the earlier one wrote, and says so.
main_of() { # pid: the main window of that Carteva, and its x and y
    for _ in $(seq 600); do
        main=$(xdotool search --onlyvisible --pid "$1" --name '^Navelin - Carteva$' 2>/dev/null | head -n 1) || true
        [ -n "$main" ] && break
        sleep 0.1
    done
    [ -n "$main" ] || fail "no main window of process $1"
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    sleep 0.3
    client=$(xwininfo -id "$main")
    x=$(awk '/Absolute upper-left X:/ {print $4}' <<< "$client")
    y=$(awk '/Absolute upper-left Y:/ {print $4}' <<< "$client")
}
# The notices of another window's doings are captioned "Carteva", as the program's own boxes are.
answer_notice_box() { # what it is about
    local box
    box=$(window_named '^Carteva$') || fail "no message box about $1"
    xdotool windowactivate --sync "$box" 2>/dev/null || true
    xdotool key Return
    sleep 0.3
}
answer_notice_box_if_any() {
    local box
    box=$(window_named '^Carteva$' 3) || return 0
    xdotool windowactivate --sync "$box" 2>/dev/null || true
    xdotool key Return
    sleep 0.3
}
fill_point() { # picture x, y, latitude, longitude: save_point without pressing Save
    local px py
    read -r px py < <(pixel_at "$1" "$2")
    xdotool mousemove "$px" "$py"
    sleep 0.2
    xdotool click 1
    sleep 0.2
    type_into 250 21 "$3"
    type_into 320 21 "$4"
}
scale=1
before=$(od -An -tx1 -v "$cali" | tr -d ' \n')
start_carteva
first_pid=$carteva_pid
dialog=$(window_named '^Open bitmap to calibrate$') || fail "no bitmap dialog for the first window"
open_map
start_carteva
second_pid=$carteva_pid
dialog=$(window_named '^Open bitmap to calibrate$') || fail "no bitmap dialog for the second window"
open_map
answer_notice_box "the map being open already"
main_of "$second_pid"
xdotool windowmove "$main" 850 80
sleep 0.5
main_of "$second_pid"
fill_point 260 40 50.75 15.5
read -r second_save_x second_save_y < <(at 395 21)
main_of "$first_pid"
fill_point 60 40 50.75 14
read -r first_save_x first_save_y < <(at 395 21)
xdotool mousemove "$first_save_x" "$first_save_y" click 1 mousemove "$second_save_x" "$second_save_y" click 1
# The later save merges the earlier one's point and says so; the earlier window's close merges the
# later one's.
answer_notice_box "the point saved at the same moment"
main_of "$first_pid"
xdotool key alt+F4
answer_notice_box_if_any
carteva_pid=$first_pid ends_with_status_0 "closing the first window"
main_of "$second_pid"
xdotool key alt+F4
answer_notice_box_if_any
carteva_pid=$second_pid ends_with_status_0 "closing the second window"
after=$(od -An -tx1 -v "$cali" | tr -d ' \n')
first_point=3c0000002800000000000000000000cb044000000000000000000000000000e00240000000000000
second_point=040100002800000000000000000000cb044000000000000000000000000000f80240000000000000
[[ $after == "${before:0:16}"* ]] || fail "the header changed: $after"
[[ ${after:16} == "${before:16}"* ]] || fail "the earlier points changed: $after"
[[ ${#after} == $((${#before} + 160)) ]] || fail "not two more points: $after"
[[ $after == *"$first_point"* ]] || fail "the first window's point is lost: $after"
[[ $after == *"$second_point"* ]] || fail "the second window's point is lost: $after"
# Nothing can be written (no file may grow past 0 bytes): the points are only in memory, and the
# second SIGTERM ends Carteva after writing them to standard error.
# Its output goes through a pipe, which the limit does not hold up.
( trap '' XFSZ; ulimit -f 0; exec "$carteva" ) > >(cat >> "$work/carteva.log") 2>&1 &
carteva_pid=$!
pids+=($carteva_pid)
dialog=$(window_named '^Open bitmap to calibrate$') || fail "no bitmap dialog without disk space"
open_map
main_of "$carteva_pid"
save_point 120 90 49.25 14.75
window_named '^Error$' > /dev/null || fail "no warning that the points are only in memory"
kill -TERM "$carteva_pid"
sleep 1
kill -TERM "$carteva_pid"
ends_with_status_0 "two SIGTERMs without disk space"
grep -q '^120 90 49.2500000 14.7500000$' "$work/carteva.log" ||
    fail "the point in memory was not written to standard error"
grep -q '^60 40 50.7500000 14.0000000$' "$work/carteva.log" ||
    fail "the points read from the file were not written to standard error"
[[ $(od -An -tx1 -v "$cali" | tr -d ' \n') == "$after" ]] || fail "the file changed without disk space"
echo "e2e: 1 passed, 0 failed"
