#!/usr/bin/env bash
# Times the JPEG mode that keeps the original coding (--jpeg=original) against
# the quality-98 path and the djpeg | cjpeg floors (4:2:0 and 4:4:4), on the
# same 24 MP photos, in one run; reports output sizes against the sources and
# the fidelity of both modes (bench_jpeg_fidelity).
#
#   bench/bench_lossless.sh [BUILD_DIR]        (default: build)
#
# Environment: PHOTOS (6) photos of 6000 x 4000 pixels, ROUNDS (3) timed
# rounds (the best of each is kept), JOBS (2) photos at once, WORK
# (/tmp/kw-bench-lossless) scratch folder; the photos are made once and kept.
# Ratios are to the floors of the same run, since other load on the machine
# moves absolute times a lot. Not part of CTest.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
PHOTOS=${PHOTOS:-6}
ROUNDS=${ROUNDS:-3}
JOBS=${JOBS:-2}
WORK=${WORK:-/tmp/kw-bench-lossless}

need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v cjpeg >/dev/null || need+=(libjpeg-turbo-progs)
[ -d /usr/share/wallpapers/Volna ] || need+=(plasma-workspace-wallpapers)
command -v exiftool >/dev/null || need+=(libimage-exiftool-perl)
if [ ${#need[@]} -gt 0 ]; then
    sudo=$([ "$(id -u)" = 0 ] || echo sudo)
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
fi
cmake --build "$BUILD" --target kelvane-watermark-cli bench_jpeg_fidelity >/dev/null
CLI=$BUILD/src/cli/kelvane-watermark-cli

# --- two data folders: the demo text in a corner, and the same as cover tiles
setup_home() { # folder: a first run there; prints the layer file
    local home=$1
    HOME=$home XDG_DATA_HOME=$home/.local/share "$CLI" --list-templates >/dev/null
    echo "$home/.local/share/Kelvane Watermark/templates/Demo 1_Layer 1.xml"
}
CORNER=$WORK/home-corner
TILES=$WORK/home-tiles
mkdir -p "$CORNER" "$TILES"
layer=$(setup_home "$CORNER")
# 80-pixel text (the font record starts with the height, -80), no turn, in the
# bottom-right corner: a mark as a photographer puts it.
sed -i -e 's|<Font>218,255,255,255,|<Font>176,255,255,255,|' \
    -e 's|<Rotation>[^<]*<|<Rotation>0<|' -e 's|<Location>[^<]*<|<Location>8<|' "$layer"
tiles=$(setup_home "$TILES")
sed -i -e 's|<BCoverImage>0<|<BCoverImage>1<|' "$tiles"

# --- photos: wallpapers enlarged to 24 MP with grain, 4:2:0 at quality 92,
# with camera EXIF ----------------------------------------------------------
SRC=$WORK/src
mkdir -p "$SRC"
walls=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf)
photos=()
for ((i = 0; i < PHOTOS; i++)); do
    out=$(printf '%s/photo%02d.jpg' "$SRC" "$i")
    photos+=("$out")
    [ -f "$out" ] && continue
    wall=${walls[$((i % ${#walls[@]}))]}
    # shellcheck disable=SC2012 # the largest picture of the wallpaper
    picture=$(ls -S /usr/share/wallpapers/"$wall"/contents/images/*.jpg | head -1)
    echo "making $out from $wall" >&2
    /usr/bin/convert "$picture" -resize '6000x4000^' -gravity center -extent 6000x4000 \
        -attenuate 0.5 +noise Gaussian -quality 92 -sampling-factor 2x2 "$out"
    exiftool -q -overwrite_original -Make='Kelvane Optics' -Model=KW-24 -Orientation=1 -n \
        -DateTimeOriginal='2024:05:01 10:20:30' "$out"
done

# --- the jobs ---------------------------------------------------------------
OUT=$WORK/out
each() {
    local running=0 photo
    for photo in "${photos[@]}"; do
        if ((running >= JOBS)); then wait -n; else running=$((running + 1)); fi
        "$1" "$photo" &
    done
    wait
}
floor420_one() { djpeg "$1" | cjpeg -quality 98 -sample 2x2 >"$OUT/f420_${1##*/}"; }
floor444_one() { djpeg "$1" | cjpeg -quality 98 -sample 1x1 >"$OUT/f444_${1##*/}"; }
jpegtran_one() { jpegtran -copy all "$1" >"$OUT/jt_${1##*/}"; }
ours() { # home suffix mode
    HOME=$1 XDG_DATA_HOME=$1/.local/share "$CLI" -q -j "$JOBS" -o "$OUT" -s "$2" --no-resize \
        --format=jpg --jpeg="$3" "${photos[@]}"
}
job_floor420() { each floor420_one; }
job_floor444() { each floor444_one; }
job_jpegtran() { each jpegtran_one; }
job_q98() { ours "$CORNER" _q98 q98; }
job_original() { ours "$CORNER" _orig original; }
job_optimized() { ours "$CORNER" _opt original-optimized; }
job_tiles_q98() { ours "$TILES" _tq98 q98; }
job_tiles() { ours "$TILES" _tiles original; }

declare -A best size
TIMEFORMAT='%R'
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
names=(floor420 floor444 jpegtran q98 original optimized tiles_q98 tiles)
prefix() { case $1 in
    floor420) echo f420_ ;; floor444) echo f444_ ;; jpegtran) echo jt_ ;; esac; }
suffix() { case $1 in
    q98) echo _q98 ;; original) echo _orig ;; optimized) echo _opt ;;
    tiles_q98) echo _tq98 ;; tiles) echo _tiles ;; esac; }
echo "timing ${#photos[@]} photos of 24 MP, $JOBS at once, best of $ROUNDS rounds" >&2
for ((r = 1; r <= ROUNDS; r++)); do
    for name in "${names[@]}"; do
        rm -rf "$OUT" && mkdir -p "$OUT"
        sync
        wall=$({ time "job_$name" >/dev/null 2>&1; } 2>&1)
        if [ -z "${best[$name]:-}" ] || smaller "$wall" "${best[$name]}"; then best[$name]=$wall; fi
        size[$name]=$(find "$OUT" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    done
    echo "round $r done" >&2
done
source_size=$(for p in "${photos[@]}"; do stat -c %s "$p"; done | awk '{ s += $1 } END { print s }')

label() { case $1 in
    floor420) echo "djpeg | cjpeg -q 98, 4:2:0" ;;
    floor444) echo "djpeg | cjpeg -q 98, 4:4:4" ;;
    jpegtran) echo "jpegtran -copy all" ;;
    q98) echo "ours, quality 98" ;;
    original) echo "ours, keep original" ;;
    optimized) echo "ours, keep original, optimised" ;;
    tiles_q98) echo "ours, cover tiles, quality 98" ;;
    tiles) echo "ours, cover tiles, keep original" ;;
    esac; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '\n%-34s %8s %9s %9s %10s\n' job "wall s" "x 4:2:0" "x 4:4:4" "size/src"
for name in "${names[@]}"; do
    printf '%-34s %8.2f %9s %9s %10s\n' "$(label "$name")" "${best[$name]}" \
        "$(ratio "${best[$name]}" "${best[floor420]}")" \
        "$(ratio "${best[$name]}" "${best[floor444]}")" \
        "$(ratio "${size[$name]}" "$source_size")"
done

echo
"$BUILD/bench/bench_jpeg_fidelity" "${photos[0]}" \
    "$CORNER/.local/share/Kelvane Watermark/templates" "Demo 1"
echo
echo "cover tiles:"
"$BUILD/bench/bench_jpeg_fidelity" "${photos[0]}" \
    "$TILES/.local/share/Kelvane Watermark/templates" "Demo 1"
