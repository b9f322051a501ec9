#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs carteva-export without a display and reads what it writes back with GDAL (gdalinfo,
# gdaltransform), then checks the failure rows: exit status, one line on standard error naming the
# file, and no output file left behind.
#   export_test.sh <carteva-export> <tests/data folder>
set -uo pipefail
export_bin=$(realpath "$1")
data=$(realpath "$2")
work=$(mktemp -d /tmp/carteva-export.XXXXXX)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
cd "$work"
passed=0
failed=0
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
check() { if [ "$2" = "$3" ]; then pass; else fail "$1: got '$2', expected '$3'"; fi; }

# x87 80-bit extended values, little-endian, as the calibration file holds them.
declare -A extended=(
    [-33.5]='\x00\x00\x00\x00\x00\x00\x00\x86\x04\xc0'
    [-34.25]='\x00\x00\x00\x00\x00\x00\x00\x89\x04\xc0'
    [-70.75]='\x00\x00\x00\x00\x00\x00\x80\x8d\x05\xc0'
    [-70.5]='\x00\x00\x00\x00\x00\x00\x00\x8d\x05\xc0'
    [-70.25]='\x00\x00\x00\x00\x00\x00\x80\x8c\x05\xc0'
    [nan]='\x00\x00\x00\x00\x00\x00\x00\xc0\xff\x7f'
)
# The same for any decimal number (its nearest double, as GDAL reads the text): sign, exponent
# and the 64-bit significand with its integer bit, from halvings and doublings, which are exact.
extended_of() {
    awk -v v="$1" 'BEGIN {
        sign = 0; if (v < 0) { sign = 32768; v = -v }
        e = 0; hi = 0; lo = 0
        if (v != 0) {
            e = 16383; while (v >= 2) { v /= 2; e++ } while (v < 1) { v *= 2; e-- }
            hi = int(v * 2147483648); lo = (v * 2147483648 - hi) * 4294967296
        }
        e += sign
        for (i = 0; i < 4; i++) { printf "\\x%02x", lo % 256; lo = int(lo / 256) }
        for (i = 0; i < 4; i++) { printf "\\x%02x", hi % 256; hi = int(hi / 256) }
        printf "\\x%02x\\x%02x", e % 256, int(e / 256) }'
}
int32() { printf "$(printf '\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
# record X Y LAT LON: one 40-byte point.
record() { int32 "$1"; int32 "$2"; printf "${extended[$3]}\\0\\0\\0\\0\\0\\0${extended[$4]}\\0\\0\\0\\0\\0\\0"; }
decimal_record() { int32 "$1"; int32 "$2"; printf "$(extended_of "$3")\\0\\0\\0\\0\\0\\0$(extended_of "$4")\\0\\0\\0\\0\\0\\0"; }
# Three points in the south-west quarter (hemisphere letters S and W), then a damaged record.
points() {
    record 4 5 -33.5 -70.75
    record 30 6 -33.5 -70.25
    record 10 25 -34.25 -70.5
}
# Within a millionth of a pixel.
near() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; exit !(d < 1e-6 && d > -1e-6) }'; }

convert -size 40x30 gradient:red-blue -colors 16 -type Palette BMP3:palette.bmp
convert -size 40x30 gradient:red-blue -type TrueColor BMP3:colour.bmp
for map in palette colour; do
    { int32 40; int32 30; points; record 7 7 nan -70.5; } > $map.cali
done

# vrt: GDAL sees the bitmap's own bands, the size and the GCPs at the pixel centres.
"$export_bin" colour.bmp 2> colour.err
check "vrt exit status" $? 0
grep -q "record 4 .*left out" colour.err || fail "no warning naming record 4: $(cat colour.err)"
for map in palette colour; do
    [ $map = palette ] && "$export_bin" --format=vrt $map.bmp 2> /dev/null
    bands='[.bands[] | {type, colorInterpretation, colorTable}]'
    check "$map bands" "$(gdalinfo -json $map.vrt | jq -c "$bands")" \
        "$(gdalinfo -json $map.bmp | jq -c "$bands")"
done
check "vrt size" "$(gdalinfo -json colour.vrt | jq -c .size)" "[40,30]"
check "vrt GCPs" "$(gdalinfo -json colour.vrt | jq -c '[.gcps.gcpList[] | [.pixel, .line, .x, .y]]')" \
    "[[4.5,5.5,-70.75,-33.5],[30.5,6.5,-70.25,-33.5],[10.5,25.5,-70.5,-34.25]]"
read -r px py _ < <(echo "-70.5 -34.25" | gdaltransform -i colour.vrt)
near "$px" 10.5 && near "$py" 25.5 && pass || fail "vrt: -70.5 -34.25 maps back to $px $py"
gdalwarp -q colour.vrt colour.tif && pass || fail "gdalwarp cannot read colour.vrt"

# map: the file holds whole pixels, which GDAL's OziExplorer driver takes as the pixel's top-left
# corner; the positions written are the corners', so GDAL puts each point at its pixel's centre,
# as the VRT does (to the 2 cm of the minutes' five decimals: 0.00005 px here).
"$export_bin" --format map colour.bmp 2> /dev/null
check "map exit status" $? 0
read -r px py _ < <(echo "-70.25 -33.5" | gdaltransform -i colour.map)
awk -v x="$px" -v y="$py" 'BEGIN { exit !((x - 30.5)^2 + (y - 6.5)^2 < 1e-8) }' && pass ||
    fail "map: -70.25 -33.5 maps back to $px $py"
grep -q "^Point01,xy,    4,    5,in, deg,  33,  28.90564,S,  70,  45.77335,W," colour.map ||
    fail "map: Point01 line: $(grep Point01 colour.map)"
{ int32 40; int32 30; for _ in $(seq 31); do record 4 5 -33.5 -70.75; done; } > many.cali
cp colour.bmp many.bmp
"$export_bin" --format map many.bmp 2> many.err
check "31 points: exit status" $? 0
grep -q "holds 30 points; the last 1 are left out" many.err || fail "31 points: $(cat many.err)"
check "31 points: lines" "$(grep -c '^Point.., *xy, *4,' many.map)" 30

# points and text.
"$export_bin" --format points --output out.points colour.bmp 2> /dev/null
check "points" "$(sed -n '2,3p' out.points)" \
    "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual
-70.75,-33.5,4.5,-5.5,1,0,0,0"
grep -q '^#CRS: GEOGCS\["WGS 84"' out.points && pass || fail "points: no WGS 84 line"
check "text" "$("$export_bin" --format text colour.bmp 2> /dev/null | head -n 1)" \
    "$(printf '4\t5\t-33.500000\t-70.750000')"

# Best fit: eight graticule crossings of a map turned by 2°, the seventh latitude mistyped by
# 0.01°. GDAL's first-order fit through the VRT's GCPs (at pixel centres) puts each position on
# the pixel the report gives it (X + dX, Y + dY), and the report names the mistyped point alone.
awk 'BEGIN { pi = atan2(0, -1); a = 2 * pi / 180; s = 8.56; c = cos(50 * pi / 180)
    split("100 80 1500 120 800 100 120 1100 1480 1050 820 1120 400 600 1200 640", p, " ")
    for (i = 1; i <= 16; i += 2) {
        x = p[i]; y = p[i + 1]
        u = s * (cos(a) * x - sin(a) * y); w = s * (sin(a) * x + cos(a) * y)
        printf "%d %d %.7f %.7f\n", x, y, 50.05 - w / 111320 + (i == 13 ? 0.01 : 0), 14 + u / 111320 / c
    } }' > turned.txt
cp colour.bmp turned.bmp
{ int32 1600; int32 1200; while read -r x y lat lon; do decimal_record $x $y $lat $lon; done < turned.txt; } > turned.cali
"$export_bin" --format report turned.bmp > turned.report
check "report exit status" $? 0
"$export_bin" turned.bmp 2> /dev/null
awk '{ print $4, $3 }' turned.txt | gdaltransform -i -order 1 turned.vrt > turned.gdal
check "best fit against GDAL" "$(grep -v '^#' turned.report | paste - turned.gdal | awk -F'\t' '{
    split($11, g, " "); dx = $2 + $6 + 0.5 - g[1]; dy = $3 + $7 + 0.5 - g[2]
    if (dx < 0.01 && dx > -0.01 && dy < 0.01 && dy > -0.01) n++ } END { print n }')" 8
check "report: the suspect" "$(awk -F'\t' '!/^#/ && $10 == "suspect" { print $1 }' turned.report)" 7
check "report: lines that are not rows" "$(grep -c '^#' turned.report)" 4
check "report: the RMS" "$(grep '^# RMS' turned.report)" "# RMS error: 81.936 px, 707.44 m"
check "text mapped by the fit" "$("$export_bin" --format text --fit best turned.bmp | sed -n 7p)" \
    "$(printf '400\t600\t50.012817\t14.045317\t396.397\t496.815')"

# A 1:25,000 sheet drawn in UTM zone 33 at 2.5 m a pixel (a sparse bitmap: only its size is read),
# nine points with their exact positions as PROJ gives them through GDAL. Without a projection the
# fit is quadratic and GDAL's order 2 reproduces it; with the projection kept beside the bitmap
# the VRT's GCPs are in UTM and GDAL's default first order does.
{ printf 'BM'; int32 $((54 + 7200 * 2400)); int32 0; int32 54; int32 40; int32 2400; int32 2400
  printf '\x01\x00\x18\x00'; int32 0; int32 0; int32 0; int32 0; int32 0; int32 0; } > sheet.bmp
truncate -s $((54 + 7200 * 2400)) sheet.bmp
utm() { awk '{ printf "%.4f %.4f\n", 497000 + $1 * 2.5, 5543000 - $2 * 2.5 }' |
    gdaltransform -s_srs EPSG:32633 -t_srs EPSG:4326 -output_xy; }
for y in 100 1200 2300; do for x in 100 1200 2300; do echo "$x $y"; done; done > grid.txt
utm < grid.txt | paste -d' ' grid.txt - > sheet.txt
{ int32 2400; int32 2400; while read -r x y lon lat; do decimal_record $x $y $lat $lon; done < sheet.txt; } > sheet.cali
printf '0 0\n2399 2399\n777.25 1500.5\n2000 300\n50 2350\n' > checks.txt
utm < checks.txt | awk '{ print $2, $1 }' > checks.pos
for prj in none EPSG:32633; do
    rm -f sheet.prj
    [ $prj = none ] || echo "$prj" > sheet.prj
    "$export_bin" --format pixels sheet.bmp < checks.pos > sheet.pixels
    check "pixels, $prj: exit status" $? 0
    "$export_bin" sheet.bmp 2> /dev/null
    order=1
    [ $prj = none ] && order=2
    [ $prj = none ] && { grep -q "GDAL reproduces it with a polynomial of order 2" sheet.vrt || fail "vrt: no order"; }
    awk '{ print $2, $1 }' checks.pos | gdaltransform -i -order $order -t_srs EPSG:4326 sheet.vrt > sheet.gdal
    check "pixels, $prj: against GDAL and the sheet" "$(grep -v '^#' sheet.pixels | paste -d' ' - sheet.gdal checks.txt | awk '{
        if (($1 + 0.5 - $3)^2 + ($2 + 0.5 - $4)^2 < 0.0001 && ($1 - $6)^2 + ($2 - $7)^2 < 0.0001) n++ } END { print n }')" 5
done
"$export_bin" --format points sheet.bmp 2> /dev/null
check "points in the projection" "$(sed -n 3p sheet.points | awk -F, '{ printf "%.3f %.3f %s %s\n", $1, $2, $3, $4 }')" \
    "497250.000 5542750.000 100.5 -100.5"
grep -q '^#CRS: PROJCS\["WGS 84 / UTM zone 33N"' sheet.points && pass || fail "points: no UTM line"
check "pixels: the comments name mapping, model and projection" "$(grep '^#' sheet.pixels | head -n 2)" \
    "# Mapping: best fit through all points: affine, 9 points
# Projection: WGS 84 / UTM zone 33N (EPSG:32633)"
# Sheets in systems whose axes GDAL must be told: northing first (31468, 3006), both axes
# pointing north or south (the polar 3031 and 3413), and the plain 2056 and 27700. Nine exact
# points 10 m a pixel apart about a centre given as easting and northing; gdaltransform -i through
# the VRT agrees with --format pixels within a hundredth of a pixel, and the points file carries
# easting first.
while read -r code e0 n0; do
    cp sheet.bmp "s$code.bmp"
    echo "EPSG:$code" > "s$code.prj"
    plane() { awk -v e="$e0" -v n="$n0" '{ printf "%.4f %.4f\n", e + $1 * 10, n - $2 * 10 }'; }
    plane < grid.txt | gdaltransform -s_srs "EPSG:$code" -t_srs EPSG:4326 -output_xy |
        paste -d' ' grid.txt - > "s$code.txt"
    { int32 2400; int32 2400; while read -r x y lon lat; do decimal_record $x $y $lat $lon; done < "s$code.txt"; } > "s$code.cali"
    plane < checks.txt | gdaltransform -s_srs "EPSG:$code" -t_srs EPSG:4326 -output_xy |
        awk '{ print $2, $1 }' > "s$code.pos"
    "$export_bin" --format pixels "s$code.bmp" < "s$code.pos" | grep -v '^#' > "s$code.pixels"
    "$export_bin" "s$code.bmp" 2> /dev/null
    grep -q 'gdaltransform -order 1' "s$code.vrt" || fail "EPSG:$code: the VRT names no order"
    awk '{ print $2, $1 }' "s$code.pos" | gdaltransform -i -order 1 -t_srs EPSG:4326 "s$code.vrt" > "s$code.gdal"
    check "EPSG:$code: pixels against GDAL and the sheet" "$(paste -d' ' "s$code.pixels" "s$code.gdal" checks.txt | awk '{
        if (($1 + 0.5 - $3)^2 + ($2 + 0.5 - $4)^2 < 0.0001 && ($1 - $6)^2 + ($2 - $7)^2 < 0.0001) n++ } END { print n }')" 5
    "$export_bin" --format points "s$code.bmp" 2> /dev/null
    check "EPSG:$code: points file easting first" "$(sed -n 3p "s$code.points" | awk -F, -v e="$e0" -v n="$n0" '{
        printf "%.2f %.2f\n", $1 - e, $2 - n }')" "1000.00 -1000.00"
done << 'SYSTEMS'
3031 500000 -1500000
3413 -200000 -2000000
2056 2600000 1200000
27700 400000 300000
31468 4500000 5400000
3006 500000 6500000
SYSTEMS

# Degrees across the 180° meridian: the VRT's longitudes run on past 180 in a system that takes
# -179.8 and 180.2 alike, and GDAL lands where Carteva does.
cp sheet.bmp fiji.bmp
awk '{ l = 179.5 + $1 / 2000; if (l > 180) l -= 360; printf "%s %s %.7f %.7f\n", $1, $2, -16 - $2 / 2000, l }' grid.txt > fiji.txt
{ int32 2400; int32 2400; while read -r x y lat lon; do decimal_record $x $y $lat $lon; done < fiji.txt; } > fiji.cali
"$export_bin" fiji.bmp 2> /dev/null
check "180: longitudes run on" "$(grep -c 'X="180\.' fiji.vrt)" 6
printf -- '-16.3 -179.8\n-16.3 180.2\n-16.9 179.7\n' > fiji.pos
"$export_bin" --format pixels fiji.bmp < fiji.pos | grep -v '^#' > fiji.pixels
awk '{ print $2, $1 }' fiji.pos | gdaltransform -i -order 1 -t_srs EPSG:4326 fiji.vrt > fiji.gdal
check "180: pixels against GDAL and the sheet" "$(paste -d' ' fiji.pixels fiji.gdal | awk '{
    if (($1 + 0.5 - $3)^2 + ($2 + 0.5 - $4)^2 < 0.0001) n++ } END { print n }') $(head -n 2 fiji.pixels | uniq | wc -l)" "3 1"

# The ranking of projections: comments first, then rows of four tab-separated fields, the sheet's
# own system (or one placing it alike) first and degrees among them; --projection uses a system
# without writing the projection file.
rm s27700.prj
"$export_bin" --format projections s27700.bmp > s27700.ranking
check "projections: comment lines first" "$(awk '!/^#/ { body = 1 } /^#/ && body { bad++ } END { print bad + 0 }' s27700.ranking)" 0
check "projections: four fields a row" "$(grep -v '^#' s27700.ranking | awk -F'\t' 'NF != 4' | wc -l)" 0
read -r rms _ first _ < <(grep -v '^#' s27700.ranking | head -n 1)
awk -v r="$rms" 'BEGIN { exit !(r < 0.05) }' && pass || fail "projections: first row $rms $first"
grep -q "$(printf '\tDegrees\tDegrees (none)$')" s27700.ranking || fail "projections: no degrees row"
"$export_bin" --format pixels --projection "$first" s27700.bmp < s27700.pos | grep -v '^#' > s27700.first
check "projections: the first places the checks" "$(paste -d' ' s27700.first checks.txt | awk '{
    if (($1 - $3)^2 + ($2 - $4)^2 < 0.0025) n++ } END { print n }')" 5
[ -e s27700.prj ] && fail "--projection wrote the projection file" || pass

# A definition over many lines, as gdalsrsinfo writes it, is named on one line in the headers.
gdalsrsinfo -o wkt2_2019 EPSG:2056 > s2056.prj
check "a multi-line projection: every header line a comment" \
    "$("$export_bin" --format pixels s2056.bmp < s2056.pos | grep -c -v '^#\|^[0-9]')" 0
check "a multi-line projection: its line" "$("$export_bin" --format report s2056.bmp | grep '^# Projection')" \
    "# Projection: CH1903+ / LV95 (EPSG:2056)"

# One line out for each line in: comments, bad lines and positions that cannot be mapped.
printf '50.01 15\n\n50.01\n50.01 15 3\n50,01 15\nnorth east\n95 15\n  50.0123\t15.0001  \n' > odd.pos
check "pixels: odd lines" "$("$export_bin" --format pixels sheet.bmp < odd.pos | grep -v '^#')" \
    "$(printf '%s\n' "1200.000 1302.980" "- not a latitude and a longitude in decimal degrees" \
        "- not a latitude and a longitude in decimal degrees" \
        "- not a latitude and a longitude in decimal degrees" \
        "- not a latitude and a longitude in decimal degrees" \
        "- not a latitude and a longitude in decimal degrees" "- outside the projection's area" \
        "1202.866 1200.690")"
echo "EPSG:999999" > sheet.prj
"$export_bin" --format pixels sheet.bmp < odd.pos > /dev/null 2> row.err
check "pixels: an unknown projection: exit status" $? 1
grep -q "sheet.prj: crs not found" row.err || fail "unknown projection: $(cat row.err)"
rm sheet.prj
{ int32 40; int32 30; record 4 5 -33.5 -70.75; } > lone.cali
cp colour.bmp lone.bmp
check "pixels: no mapping" "$(echo '-33.5 -70.75' | "$export_bin" --format pixels --fit nearest lone.bmp 2> /dev/null | tail -n 1)" \
    "- no mapping: Fewer than two points"
# Two points more than 30 px apart on both axes that share a latitude: the window's error.
{ int32 40; int32 30; record 4 5 -33.5 -70.75; record 40 40 -33.5 -70.25; } > flat.cali
cp colour.bmp flat.bmp
check "pixels: the nearest pair divides by zero" \
    "$(echo '-34 -70.5' | "$export_bin" --format pixels --fit nearest flat.bmp 2> /dev/null | tail -n 1)" \
    "- Floating point division by zero"

# Too few points for GDAL: one is refused (see the failure rows), two pass with a warning; the
# report says there is no fit and still succeeds.
{ int32 40; int32 30; record 4 5 -33.5 -70.75; } > one.cali
{ int32 40; int32 30; record 4 5 -33.5 -70.75; record 30 6 -33.5 -70.25; } > two.cali
cp colour.bmp one.bmp
cp colour.bmp two.bmp
"$export_bin" --format points two.bmp 2> two.err
check "two points: exit status" $? 0
grep -q "two.cali: only 2 points; GDAL needs three to warp" two.err || fail "two points: $(cat two.err)"
check "report, one point" "$("$export_bin" --format report --fit nearest one.bmp | tail -n 1)" \
    "# No mapping: Fewer than two points"

# An icon's size comes through the picture library.
cp "$data/single48.ico" icon.ico
{ int32 48; int32 48; points; } > icon.cali
"$export_bin" --format map icon.ico
check "icon size" "$(grep IWH icon.map | tr -d '\r')" "IWH,Map Image Width/Height,48,48"

# Outputs that are not regular files are written to, never replaced; "-" is standard output.
text_line=$(printf '4\t5\t-33.500000\t-70.750000')
check "to -" "$("$export_bin" --format text --output - colour.bmp 2> /dev/null | head -n 1)" "$text_line"
"$export_bin" --format text --output /dev/stdout colour.bmp > stdout.txt 2> /dev/null
check "/dev/stdout redirected to a file" "$(head -n 1 stdout.txt)" "$text_line"
"$export_bin" --format map --output /dev/null colour.bmp 2> /dev/null
check "to a device: exit status" $? 0
[ -c /dev/null ] && pass || fail "/dev/null was replaced"
mkfifo out.fifo
head -n 1 out.fifo > fifo.txt &
"$export_bin" --format text --output out.fifo colour.bmp 2> /dev/null
wait
check "to a FIFO" "$(cat fifo.txt)" "$text_line"
[ -p out.fifo ] && pass || fail "the FIFO was replaced"
rm -f out.fifo
# An output name is used byte for byte, also one that is no UTF-8.
"$export_bin" --format map --output "$(printf 'out\xfe.map')" colour.bmp 2> /dev/null
[ -f "$(printf 'out\xfe.map')" ] && pass || fail "the output with byte 0xFE is not there: $(ls)"
rm -f "$(printf 'out\xfe.map')"

# Two points, one pixel twice: warnings, and the export goes on.
{ int32 40; int32 30; record 4 5 -33.5 -70.75; record 4 5 -34.25 -70.5; } > twice.cali
cp colour.bmp twice.bmp
"$export_bin" --format map twice.bmp 2> twice.err
check "duplicate pixels: exit status" $? 0
grep -q "twice.cali: only 2 points" twice.err || fail "no warning of two points: $(cat twice.err)"
grep -q "twice.cali: records 1 and 2 are both at pixel 4, 5" twice.err ||
    fail "no warning of the duplicate pixel: $(cat twice.err)"

# What keeps GDAL from fitting a transform is warned of, and the report names it: three points on
# one line on the picture (GDAL: "Transform is not solvable"), and one pixel with two positions.
{ int32 40; int32 30; record 4 5 -33.5 -70.75; record 10 10 -34.25 -70.5; record 16 15 -33.5 -70.25; } > line.cali
{ int32 40; int32 30; points; record 4 5 -34.25 -70.25; } > shared.cali
cp colour.bmp line.bmp
cp colour.bmp shared.bmp
for row in "line|line.cali: all points lie on one line on the picture" \
           "shared|shared.cali: records 1 and 4 are both at pixel 4, 5"; do
    map=${row%%|*} warning=${row#*|}
    "$export_bin" $map.bmp 2> $map.err
    check "$map: exit status" $? 0
    grep -qF "$warning" $map.err || fail "$map: no warning \"$warning\": $(cat $map.err)"
    grep -qF "# Found: ${warning#*: }" <("$export_bin" --format report $map.bmp 2> /dev/null) ||
        fail "$map: the report does not name it: $("$export_bin" --format report $map.bmp 2> /dev/null)"
done

# A projection file that cannot be read fails only the formats that use the projection.
cp colour.bmp prj.bmp
cp colour.cali prj.cali
echo "EPSG:999999" > prj.prj
for format in text map; do
    "$export_bin" --format $format --output out.$format prj.bmp 2> prj.err
    check "broken prj, $format: exit status" $? 0
    grep -q "warning: .*prj.prj: .*this format does not use the projection" prj.err ||
        fail "broken prj, $format: $(cat prj.err)"
done
"$export_bin" --format points --output out.points prj.bmp 2> /dev/null
check "broken prj, points: exit status" $? 1
rm -f prj.prj out.text out.map

# An 8000 x 6000 bitmap (a sparse file) is measured by its headers, not decoded: decoding alone
# would take 192 MB.
{ printf 'BM'; int32 $((54 + 24000 * 6000)); int32 0; int32 54; int32 40; int32 8000; int32 6000
  printf '\x01\x00\x18\x00'; int32 0; int32 0; int32 0; int32 0; int32 0; int32 0; } > large.bmp
truncate -s $((54 + 24000 * 6000)) large.bmp
{ int32 8000; int32 6000; points; } > large.cali
/usr/bin/time -f %M -o large.rss "$export_bin" --format map large.bmp 2> /dev/null
check "large bitmap size" "$(grep IWH large.map | tr -d '\r')" "IWH,Map Image Width/Height,8000,6000"
[ "$(tail -n 1 large.rss)" -lt 150000 ] && pass || fail "the large bitmap took $(tail -n 1 large.rss) KB"

# Standard output redirected to an input is refused before anything is written, also as
# /dev/stdout; "1<>" keeps the file's bytes, so they can be compared.
cp colour.cali kept.cali
for args in "--format text" "--format map --output /dev/stdout" "--format text --output /dev/fd/1"; do
    # shellcheck disable=SC2086
    "$export_bin" $args colour.bmp 1<> colour.cali 2> redirect.err
    check "$args into the calibration: status" $? 1
    grep -q "that is the bitmap or its calibration file" redirect.err || fail "$args: $(cat redirect.err)"
    cmp -s colour.cali kept.cali || fail "$args wrote into the calibration file"
done
cp colour.bmp kept.bmp
"$export_bin" --format text colour.bmp >> colour.bmp 2> redirect.err
check "appended to the bitmap: status" $? 1
cmp -s colour.bmp kept.bmp || fail "the export was appended to the bitmap"
rm -f kept.cali kept.bmp redirect.err

# Failure rows: expected status | pattern on standard error | arguments. Output must not appear.
printf 'x' > garbage.bmp
cp colour.bmp nocali.bmp
cp colour.bmp short.bmp
{ int32 40; int32 30; points; printf '0123456789ab'; } > short.cali
cp garbage.bmp garbage.cali
cp colour.cali icon2.cali
cp icon.ico icon2.ico
# A rewrite in place that was cut off, its journal beside the file as an earlier Carteva wrote it
# (the new bytes, their length and FNV-1a hash, a mark): the export waits for the window to finish it.
cp colour.bmp pending.bmp
cp colour.cali pending.cali
fnv1a() { local h=-3750763034362895579 b; for b in $(od -An -v -tu1 "$1"); do h=$(( (h ^ b) * 1099511628211 )); done; echo "$h"; }
int64() { int32 $(($1 & 0xFFFFFFFF)); int32 $((($1 >> 32) & 0xFFFFFFFF)); }
{ cat colour.cali; int64 "$(stat -c %s colour.cali)"; int64 "$(fnv1a colour.cali)"; printf CARTEVAJ; } \
    > .pending.cali.rewrite
while IFS='|' read -r status pattern args; do
    rm -f ./*.vrt* ./out.*
    # shellcheck disable=SC2086
    "$export_bin" $args > /dev/null 2> row.err
    code=$?
    check "carteva-export $args: status" "$code" "$status"
    grep -q -- "$pattern" row.err || fail "carteva-export $args: stderr $(cat row.err)"
    [ "$status" = 1 ] && { [ "$(grep -vc ': warning: ' row.err)" -eq 1 ] || fail "$args: not one line"; }
    # Qt's temporary files are named after the output with a suffix.
    ls ./*.vrt* ./out.* > /dev/null 2>&1 && fail "carteva-export $args left $(ls ./*.vrt* ./out.*)"
done << 'ROWS'
1|nocali.cali: there is no calibration file|nocali.bmp
1|short.cali: the calibration file cannot be read: 12 bytes after the last whole record|short.bmp
1|garbage.bmp: Stream read error|garbage.bmp
1|missing.bmp: Cannot open file|missing.bmp
1|icon2.ico: GDAL reads no icons|icon2.ico
1|pending.cali: a save of it was cut off midway and is not finished yet|--format map --output out.map pending.bmp
1|no/such/folder/out.vrt: cannot write|--output no/such/folder/out.vrt colour.bmp
1|colour.cali: that is the bitmap|--output colour.cali colour.bmp
1|one.cali: 1 usable point(s), too few to export; GDAL needs three|one.bmp
1|one.cali: 1 usable point(s)|--format map --output out.map one.bmp
1|one.cali: 1 usable point(s)|--format points --output out.points one.bmp
2|--fit goes with --format report, text or pixels|--fit best colour.bmp
2|unknown fit worst|--format report --fit worst colour.bmp
2|no bitmap given|--format map
2|unknown format png|--format png colour.bmp
2|unknown option --out|--out=x colour.bmp
2|one bitmap only|colour.bmp palette.bmp
2|--output needs a value|colour.bmp --output
ROWS
[[ $("$export_bin" --version) =~ ^carteva-export\ [0-9]+\.[0-9]+\.[0-9]+$ ]] && pass || fail "--version"
"$export_bin" --help | grep -q "^Usage: carteva-export" && pass || fail "--help shows no usage"

echo "export: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
