#!/usr/bin/env bash
# Times the WebP and AVIF encoders of the output writer against the
# libraries' own tools (cwebp, avifenc) on one 24-megapixel photo (6000 x
# 4000), at the same settings, as ratios in one run:
#   WebP  quality 98, method 4, one thread          (cwebp -q 98 -m 4)
#   WebP  lossless, effort 75, method 4             (cwebp -lossless -q 75 -m 4)
#   AVIF  quality 95 = quantizer 3, speed 8, 4:2:0, (avifenc --min 3 --max 3
#         all cores                                   -s 8 -y 420 -j N)
# Each side reads the PNG, encodes and writes the file; the best of ROUNDS
# (3) runs counts. Target: each ratio within 1.2.
#   bench/bench_web_formats.sh [BUILD_DIR]     (default: build)
# Environment: WORK (/tmp/kw-bench-web) scratch folder; the photo is made
# once and kept there. Not part of CTest.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
ROUNDS=${ROUNDS:-3}
WORK=${WORK:-/tmp/kw-bench-web}
OURS="$BUILD/bench/bench_web_formats"
CORES=$(nproc)

need=()
command -v cwebp >/dev/null || need+=(webp)
command -v avifenc >/dev/null || need+=(libavif-bin)
command -v convert >/dev/null || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
  echo "install first: apt-get install ${need[*]}" >&2
  exit 1
fi
[ -x "$OURS" ] || { echo "build bench_web_formats first" >&2; exit 1; }

mkdir -p "$WORK"
PHOTO="$WORK/photo-6000x4000.png"
if [ ! -f "$PHOTO" ]; then
  # Smooth light, hard edges and grain, as in a photograph.
  convert -size 6000x4000 -seed 3 plasma:fractal -blur 0x2 \
    \( -size 6000x4000 xc:gray50 +noise Gaussian -colorspace gray \) \
    -compose overlay -composite -depth 8 "$PHOTO"
fi

# Best wall time in seconds of ROUNDS runs of the command.
best() {
  local best=""
  for _ in $(seq "$ROUNDS"); do
    local start end took
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$took < $best" | bc)" = 1 ]; then best=$took; fi
  done
  echo "$best"
}

row() {
  local name=$1 ours=$2 tool=$3 size_ours=$4 size_tool=$5
  printf '%-16s %8.2f s %8.2f s %7.2f   %10d %10d\n' "$name" "$ours" "$tool" \
    "$(echo "$ours / $tool" | bc -l)" "$size_ours" "$size_tool"
}

printf '%-16s %10s %10s %7s   %10s %10s\n' case ours tool ratio "bytes ours" "bytes tool"
t1=$(best "$OURS" webp 98 "$PHOTO" "$WORK/ours.webp")
t2=$(best cwebp -quiet -q 98 -m 4 "$PHOTO" -o "$WORK/tool.webp")
row "webp q98" "$t1" "$t2" "$(stat -c %s "$WORK/ours.webp")" "$(stat -c %s "$WORK/tool.webp")"
t1=$(best "$OURS" webp-lossless 75 "$PHOTO" "$WORK/ours-ll.webp")
t2=$(best cwebp -quiet -lossless -q 75 -m 4 "$PHOTO" -o "$WORK/tool-ll.webp")
row "webp lossless" "$t1" "$t2" "$(stat -c %s "$WORK/ours-ll.webp")" \
  "$(stat -c %s "$WORK/tool-ll.webp")"
t1=$(best "$OURS" avif 95 "$PHOTO" "$WORK/ours.avif")
t2=$(best avifenc -j "$CORES" -s 8 -y 420 --min 3 --max 3 "$PHOTO" "$WORK/tool.avif")
row "avif q95" "$t1" "$t2" "$(stat -c %s "$WORK/ours.avif")" "$(stat -c %s "$WORK/tool.avif")"
