#!/usr/bin/env bash
# Times kelvane-watermark-cli against ImageMagick and plain libjpeg-turbo on the
# same large photos, side by side in one run, and measures its peak memory.
#
#   bench/bench_batch.sh [BUILD_DIR]        (default: build)
#
# Environment: PHOTOS (12) photos of 6000 x 4000 pixels, ROTATED (0) of them
# stored with EXIF orientation 6, ROUNDS (3) timed rounds (the best of each is
# kept), JOBS (2) photos at once, BATCH (200) photos for the memory run,
# WORK (/tmp/kw-bench) scratch folder; the photos are made once and kept there;
# BASELINE (unset) another build of kelvane-watermark-cli, timed beside this
# one on the same photos (to measure a change).
#
# Every encoder is pinned to the same settings: quality 98, 4:4:4 (no chroma
# subsampling, what the tool writes at that quality), baseline, standard
# Huffman tables. Ratios are to the floor (djpeg | cjpeg -sample 1x1) of the
# same run, since other load on the machine moves absolute times a lot; the
# 4:2:0 floor is timed for reference. Output sizes are the sum over the
# photos. Not part of CTest.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
PHOTOS=${PHOTOS:-12}
ROTATED=${ROTATED:-0}
ROUNDS=${ROUNDS:-3}
JOBS=${JOBS:-2}
BATCH=${BATCH:-200}
WORK=${WORK:-/tmp/kw-bench}

# --- tools ---------------------------------------------------------------
need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v cjpeg >/dev/null || need+=(libjpeg-turbo-progs)
command -v vipsthumbnail >/dev/null || need+=(libvips-tools)
[ -d /usr/share/wallpapers/Volna ] || need+=(plasma-workspace-wallpapers)
[ -x /usr/bin/time ] || need+=(time)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
    sudo=$([ "$(id -u)" = 0 ] || echo sudo)
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi
CONVERT=/usr/bin/convert # the real one, whatever else is on PATH
cmake --build "$BUILD" --target kelvane-watermark-cli >/dev/null
CLI=$BUILD/src/cli/kelvane-watermark-cli

# --- a data folder of its own, with the demo text outlined and shadowed ----
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share
mkdir -p "$HOME"
"$CLI" --list-templates >/dev/null # first run: preferences and "Demo 1"
layer="$XDG_DATA_HOME/Kelvane Watermark/templates/Demo 1_Layer 1.xml"
# 200-pixel Tahoma (the font record starts with the height, -200), an edge and
# a soft shadow; still turned by 30 degrees about the centre.
sed -i -e 's|<Font>218,255,255,255,|<Font>56,255,255,255,|' \
    -e 's|<BAddShadow>0<|<BAddShadow>1<|' -e 's|<ShadowBR>0<|<ShadowBR>4<|' \
    -e 's|<ShadowH>2<|<ShadowH>8<|' -e 's|<ShadowV>2<|<ShadowV>8<|' \
    -e 's|<ShadowAlpha>12<|<ShadowAlpha>60<|' -e 's|<BDrawEdge>0<|<BDrawEdge>1<|' "$layer"
FONT=/usr/share/wine/fonts/tahoma.ttf
[ -f "$FONT" ] || FONT=DejaVu-Sans

# --- photos: real photographs, enlarged to 24 MP with a little grain, and
# EXIF (Make, Model, DateTimeOriginal, Orientation) as a camera writes it ----
SRC=$WORK/src
mkdir -p "$SRC"
walls=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey Kite
       OneStandsOut Path Volna summer_1am)
add_exif() { # file orientation
    python3 - "$1" "$2" <<'EOF'
import struct, sys
path, orientation = sys.argv[1], int(sys.argv[2])
make, model, taken = b"Kelvane Optics\0", b"KW-24\0", b"2024:05:01 10:20:30\0"
ifd0_size, exif_size = 2 + 4 * 12 + 4, 2 + 1 * 12 + 4
exif_ifd = 8 + ifd0_size
data_at = exif_ifd + exif_size
entry = lambda tag, kind, count, value: struct.pack("<HHII", tag, kind, count, value)
ifd0 = (struct.pack("<H", 4) + entry(0x010F, 2, len(make), data_at)
        + entry(0x0110, 2, len(model), data_at + len(make))
        + struct.pack("<HHIHH", 0x0112, 3, 1, orientation, 0)
        + entry(0x8769, 4, 1, exif_ifd) + struct.pack("<I", 0))
exif = (struct.pack("<H", 1) + entry(0x9003, 2, len(taken), data_at + len(make) + len(model))
        + struct.pack("<I", 0))
tiff = b"II*\0" + struct.pack("<I", 8) + ifd0 + exif + make + model + taken
app1 = b"Exif\0\0" + tiff
jpeg = open(path, "rb").read()
at = 2 + (2 + struct.unpack(">H", jpeg[4:6])[0] if jpeg[2:4] == b"\xff\xe0" else 0)
open(path, "wb").write(jpeg[:at] + b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + jpeg[at:])
EOF
}
photo_name() { # index: the photo's file, named after its orientation
    if [ "$1" -lt "$ROTATED" ]; then printf '%s/photo%02d-o6.jpg' "$SRC" "$1"; else printf '%s/photo%02d.jpg' "$SRC" "$1"; fi
}
for ((i = 0; i < PHOTOS; i++)); do
    out=$(photo_name "$i")
    [ -f "$out" ] && continue
    wall=${walls[$((i % ${#walls[@]}))]}
    # shellcheck disable=SC2012 # the largest picture of the wallpaper
    picture=$(ls -S /usr/share/wallpapers/"$wall"/contents/images/*.jpg | head -1)
    orientation=1
    size=6000x4000
    if [ "$i" -lt "$ROTATED" ]; then orientation=6; size=4000x6000; fi
    echo "making $out from $wall" >&2
    "$CONVERT" "$picture" -resize "$size^" -gravity center -extent "$size" \
        -attenuate 0.5 +noise Gaussian -quality 92 -sampling-factor 2x2 "$out"
    if [ "$orientation" = 6 ]; then "$CONVERT" "$out" -rotate -90 -quality 92 -sampling-factor 2x2 "$out"; fi
    add_exif "$out" "$orientation"
done
photos=()
for ((i = 0; i < PHOTOS; i++)); do photos+=("$(photo_name "$i")"); done

# --- the jobs ------------------------------------------------------------
OUT=$WORK/out
JPEG_IM=(-quality 98 -sampling-factor 1x1 -interlace none -define jpeg:optimize-coding=false)
# The demo text: 200 px, outlined, a soft shadow, turned 30 degrees.
TEXT_IM=(-gravity center -font "$FONT" -pointsize 150
         \( -size 2600x1500 xc:none -fill '#80808099' -stroke '#80808099' -strokewidth 8
            -annotate 330x330+0+0 'Kelvane Watermark' -blur 0x4 \) -geometry +8+8 -composite
         -fill '#9e330b' -stroke '#008080' -strokewidth 2 -annotate 330x330+0+0 'Kelvane Watermark')
# Runs "$1 PHOTO" for every photo, JOBS at once.
each() {
    local running=0 photo
    for photo in "${photos[@]}"; do
        if ((running >= JOBS)); then wait -n; else running=$((running + 1)); fi
        "$1" "$photo" &
    done
    wait
}
floor_one() { djpeg "$1" | cjpeg -quality 98 -sample 1x1 >"$OUT/floor_${1##*/}"; }
floor420_one() { djpeg "$1" | cjpeg -quality 98 -sample 2x2 >"$OUT/f420_${1##*/}"; }
convert_one() { "$CONVERT" "$1" -auto-orient "${TEXT_IM[@]}" "${JPEG_IM[@]}" "$OUT/im_${1##*/}"; }
convert_800_one() {
    "$CONVERT" "$1" -auto-orient -resize 800x "${TEXT_IM[@]}" "${JPEG_IM[@]}" "$OUT/im800_${1##*/}"
}
vipsthumbnail_one() {
    VIPS_CONCURRENCY=1 vipsthumbnail "$1" -s 800x \
        -o "$OUT/vt_%s.jpg[Q=98,optimize_coding=false,interlace=false,subsample_mode=off,strip=false]"
}
job_floor() { each floor_one; }
job_floor420() { each floor420_one; }
job_ours() { "$CLI" -q -j "$JOBS" -o "$OUT" -s _kw --no-resize "${photos[@]}"; }
job_baseline() { "$BASELINE" -q -j "$JOBS" -o "$OUT" -s _kw --no-resize "${photos[@]}"; }
job_ours_800() { "$CLI" -q -j "$JOBS" -o "$OUT" -s _kw800 --resize-width 800 "${photos[@]}"; }
job_convert() { each convert_one; }
job_convert_800() { each convert_800_one; }
job_vipsthumbnail() { each vipsthumbnail_one; }

declare -A best_wall best_cpu out_bytes
TIMEFORMAT='%R %U %S'
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
timed() { # name: runs job_name; keeps its best wall and CPU (user + system) seconds
    local name=$1 wall user sys cpu
    rm -rf "$OUT" && mkdir -p "$OUT"
    sync
    read -r wall user sys < <({ time "job_$name" >/dev/null 2>&1; } 2>&1)
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    if [ -z "${best_wall[$name]:-}" ] || smaller "$wall" "${best_wall[$name]}"; then
        best_wall[$name]=$wall
    fi
    if [ -z "${best_cpu[$name]:-}" ] || smaller "$cpu" "${best_cpu[$name]}"; then
        best_cpu[$name]=$cpu
    fi
    out_bytes[$name]=$(find "$OUT" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
}

names=(floor floor420 ours)
[ -n "${BASELINE:-}" ] && names+=(baseline)
names+=(convert ours_800 vipsthumbnail convert_800)
echo "timing ${#photos[@]} photos of 24 MP ($ROTATED with orientation 6), $JOBS at once, best of $ROUNDS rounds" >&2
for ((r = 1; r <= ROUNDS; r++)); do
    for name in "${names[@]}"; do timed "$name"; done
    echo "round $r done" >&2
done

printf '\n%-32s %9s %9s %9s %9s %9s %9s\n' job "wall s" "x floor" "CPU s" "x floor" "MB out" "x floor"
label() { case $1 in
    floor) echo "djpeg | cjpeg -q 98, 4:4:4" ;;
    floor420) echo "djpeg | cjpeg -q 98, 4:2:0" ;;
    baseline) echo "kelvane-watermark-cli, BASELINE" ;;
    ours) echo "kelvane-watermark-cli" ;;
    convert) echo "ImageMagick convert" ;;
    ours_800) echo "kelvane-watermark-cli, 800 px" ;;
    vipsthumbnail) echo "vipsthumbnail, 800 px (no text)" ;;
    convert_800) echo "ImageMagick convert, 800 px" ;;
    esac; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
for name in "${names[@]}"; do
    printf '%-32s %9.2f %9s %9.2f %9s %9.1f %9s\n' "$(label "$name")" "${best_wall[$name]}" \
        "$(ratio "${best_wall[$name]}" "${best_wall[floor]}")" "${best_cpu[$name]}" \
        "$(ratio "${best_cpu[$name]}" "${best_cpu[floor]}")" \
        "$(awk -v b="${out_bytes[$name]}" 'BEGIN { print b / 1048576 }')" \
        "$(ratio "${out_bytes[$name]}" "${out_bytes[floor]}")"
done

# --- peak memory -----------------------------------------------------------
rss() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
rm -rf "$OUT" && mkdir -p "$OUT"
echo
echo "peak memory (max RSS, MiB):"
printf '  %-44s %6d\n' "kelvane-watermark-cli, one 24 MP photo" \
    $(($(rss "$CLI" -q -j 1 -o "$OUT" "${photos[0]}") / 1024))
printf '  %-44s %6d\n' "ImageMagick convert, the same job" \
    $(($(rss "$CONVERT" "${photos[0]}" -auto-orient "${TEXT_IM[@]}" "${JPEG_IM[@]}" "$OUT/im.jpg") / 1024))
links=()
rm -rf "$WORK/links" && mkdir -p "$WORK/links"
for ((i = 0; i < BATCH; i++)); do
    links+=("$(printf '%s/links/p%04d.jpg' "$WORK" "$i")")
    ln -s "${photos[$((i % ${#photos[@]}))]}" "${links[$i]}"
done
for n in ${#photos[@]} "$BATCH"; do
    rm -rf "$OUT" && mkdir -p "$OUT"
    printf '  %-44s %6d\n' "kelvane-watermark-cli, $n photos, $JOBS at once" \
        $(($(rss "$CLI" -q -j "$JOBS" -o "$OUT" "${links[@]:0:$n}") / 1024))
done
