#!/usr/bin/env bash
# Makes the benchmark photos the way bench_batch.sh does (real photographs
# from plasma-workspace-wallpapers, enlarged to 6000 x 4000 with a little
# grain, JPEG quality 92), without its EXIF block, for the benchmarks that
# need only the pixels.
#
#   bench/make_photos.sh DIR [COUNT]     (COUNT 12; existing photos are kept)
set -euo pipefail
DIR=$1
COUNT=${2:-12}
[ -d /usr/share/wallpapers/Volna ] || { echo "needs plasma-workspace-wallpapers" >&2; exit 1; }
mkdir -p "$DIR"
walls=(BytheWater ColdRipple ColorfulCups DarkestHour EveningGlow FallenLeaf Grey Kite
       OneStandsOut Path Volna summer_1am)
for ((i = 0; i < COUNT; i++)); do
    out=$(printf '%s/photo%02d.jpg' "$DIR" "$i")
    [ -f "$out" ] && continue
    wall=${walls[$((i % ${#walls[@]}))]}
    # shellcheck disable=SC2012 # the largest picture of the wallpaper
    picture=$(ls -S /usr/share/wallpapers/"$wall"/contents/images/*.jpg | head -1)
    echo "making $out from $wall" >&2
    /usr/bin/convert "$picture" -resize "6000x4000^" -gravity center -extent 6000x4000 \
        -attenuate 0.5 +noise Gaussian -quality 92 -sampling-factor 2x2 "$out"
done
