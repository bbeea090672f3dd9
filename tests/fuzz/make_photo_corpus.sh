#!/usr/bin/env bash
# Makes the seed corpus of fuzz_photo_input: tiny pictures in each format and
# its variants (bit depths, compressions, interlacing, byte orders), JPEGs
# with each EXIF orientation and with a thumbnail, XMP and IPTC.
# Needs ImageMagick and exiftool. Usage: make_photo_corpus.sh FOLDER
set -euo pipefail
out=${1:?usage: make_photo_corpus.sh FOLDER}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
src="$tmp/src.png"
# Four coloured quadrants, so that a turn or a mirror shows.
convert -size 6x4 xc:red \( -size 6x4 xc:lime \) +append \
  \( -size 6x4 xc:blue -size 6x4 xc:yellow +append \) -append "$src"
alpha="$tmp/alpha.png"
convert "$src" -alpha set -channel A -fx 'i/w' +channel "$alpha"

# convert with the metadata ImageMagick would add stripped.
c() {
  local args=("$@")
  local target=${args[-1]}
  unset 'args[-1]'
  convert "${args[@]}" -strip "$target"
}
# JPEG
c "$src" -quality 80 "$out/baseline.jpg"
c "$src" -interlace Plane "$out/progressive.jpg"
c "$src" -colorspace Gray "$out/gray.jpg"
c "$src" -colorspace CMYK "$out/cmyk.jpg"
c "$src" -sampling-factor 2x2 -define jpeg:restart-interval=1 "$out/restart.jpg"
convert -size 40x30 gradient:red-blue -quality 70 "$tmp/big.jpg"
c "$tmp/big.jpg" "$out/scalable.jpg"
for o in 1 2 3 4 5 6 7 8; do
  cp "$out/baseline.jpg" "$out/orientation$o.jpg"
  exiftool -q -overwrite_original -n -Orientation=$o "$out/orientation$o.jpg"
done
cp "$out/baseline.jpg" "$out/exif-thumbnail.jpg"
exiftool -q -overwrite_original "-ThumbnailImage<=$out/gray.jpg" -Orientation#=6 \
  -Artist=fuzz -XMP-dc:Title=fuzz -IPTC:Keywords=fuzz "$out/exif-thumbnail.jpg"
# PNG
c "$src" "PNG24:$out/rgb.png"
c "$alpha" "PNG32:$out/rgba.png"
c "$src" "PNG48:$out/rgb16.png"
c "$alpha" "PNG64:$out/rgba16.png"
c "$src" "PNG8:$out/palette.png"
c "$src" -colorspace Gray -depth 1 "$out/gray1.png"
c "$src" -colorspace Gray -depth 16 "$out/gray16.png"
c "$alpha" -colorspace Gray "$out/gray-alpha.png"
c "$src" -interlace PNG "$out/interlaced.png"
c "$src" -transparent red "PNG8:$out/palette-trns.png"
cp "$out/rgb.png" "$out/exif.png"
exiftool -q -overwrite_original -Orientation#=3 "$out/exif.png"
# BMP
c "$src" "BMP3:$out/rgb24.bmp"
c "$alpha" "BMP:$out/rgba32.bmp"
c "$src" -colors 16 -type Palette "BMP3:$out/palette4.bmp"
c "$src" -type Palette "BMP3:$out/palette8.bmp"
c "$src" -monochrome "BMP3:$out/mono.bmp"
c "$src" -type Palette -compress RLE "BMP3:$out/rle8.bmp"
c "$src" "BMP2:$out/os2.bmp"
# TIFF
c "$src" -compress None "$out/plain.tif"
c "$src" -compress LZW "$out/lzw.tif"
c "$src" -compress Zip "$out/deflate.tif"
c "$src" -compress RLE "$out/packbits.tif"
c "$src" -compress JPEG "$out/jpeg.tif"
c "$src" -depth 16 "$out/rgb16.tif"
c "$alpha" -compress None "$out/rgba.tif"
c "$src" -define tiff:endian=msb "$out/big-endian.tif"
c "$src" -define tiff:tile-geometry=16x16 "$out/tiled.tif"
c "$src" -monochrome -compress Group4 "$out/g4.tif"
c "$src" "$src" -compress None "$out/two-pages.tif"
cp "$out/plain.tif" "$out/exif.tif"
exiftool -q -overwrite_original -Orientation#=8 "$out/exif.tif"
# GIF
c "$src" "$out/plain.gif"
c "$src" -interlace GIF "$out/interlaced.gif"
c "$src" -transparent red "$out/transparent.gif"
c -delay 10 "$src" \( "$src" -negate \) "$out/animated.gif"
c "$src" "GIF87:$out/gif87.gif"
