#!/usr/bin/env bash
# Times kelvane-watermark-cli on the 24 MP batch with the template's removal
# resistance off and on (largest warp 1 px, the default), rounds interleaved,
# and prints for each the best wall time and the mean CPU time (user +
# system) over the rounds, and their ratio. Other load on a shared machine
# moves single runs by 10 % and more either way; the mean of interleaved
# rounds is the steadier figure.
#
#   bench/bench_resist.sh [BUILD_DIR]        (default: build)
#
# Environment: PHOTOS (12) photos of 6000 x 4000 made by make_photos.sh,
# ROUNDS (5), JOBS (1) photos at once, WARP ("1,8,0,0", the element's text),
# WORK (/tmp/kw-resist) scratch folder; the photos are made once and kept.
# The layer is bench_batch.sh's: 200-pixel text, outlined, a soft shadow,
# turned by 30 degrees. Not part of CTest.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
PHOTOS=${PHOTOS:-12}
ROUNDS=${ROUNDS:-5}
JOBS=${JOBS:-1}
WARP=${WARP:-1,8,0,0}
WORK=${WORK:-/tmp/kw-resist}

cmake --build "$BUILD" --target kelvane-watermark-cli >/dev/null
CLI=$BUILD/src/cli/kelvane-watermark-cli
"$ROOT/bench/make_photos.sh" "$WORK/photos" "$PHOTOS"
photos=()
for ((i = 0; i < PHOTOS; i++)); do photos+=("$(printf '%s/photos/photo%02d.jpg' "$WORK" "$i")"); done

export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share
rm -rf "$HOME" && mkdir -p "$HOME"
"$CLI" --list-templates >/dev/null # first run: preferences and "Demo 1"
templates="$XDG_DATA_HOME/Kelvane Watermark/templates"
sed -i -e 's|<Font>218,255,255,255,|<Font>56,255,255,255,|' \
    -e 's|<BAddShadow>0<|<BAddShadow>1<|' -e 's|<ShadowBR>0<|<ShadowBR>4<|' \
    -e 's|<ShadowH>2<|<ShadowH>8<|' -e 's|<ShadowV>2<|<ShadowV>8<|' \
    -e 's|<ShadowAlpha>12<|<ShadowAlpha>60<|' -e 's|<BDrawEdge>0<|<BDrawEdge>1<|' \
    "$templates/Demo 1_Layer 1.xml"
# The same template twice: "Plain" without the element, "Resist" with it.
cp "$templates/Demo 1.xml" "$templates/Plain.xml"
sed "s|</Layers>|<ResistRemoval>$WARP</ResistRemoval>\r\n</Layers>|" "$templates/Demo 1.xml" \
    >"$templates/Resist.xml"
sed -i "s|</Templates>|<template>Plain</template>\r\n<template>Resist</template>\r\n</Templates>|" \
    "$templates/qthumb.xml"

OUT=$WORK/out
declare -A best_wall sum_cpu
TIMEFORMAT='%R %U %S'
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
timed() { # template
    local wall user sys cpu
    rm -rf "$OUT" && mkdir -p "$OUT"
    sync
    read -r wall user sys < <({ time "$CLI" -q -j "$JOBS" -t "$1" -o "$OUT" --no-resize \
        "${photos[@]}" >/dev/null 2>"$WORK/cli.err"; } 2>&1)
    [ -s "$WORK/cli.err" ] && { cat "$WORK/cli.err" >&2; exit 1; }
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
    if [ -z "${best_wall[$1]:-}" ] || smaller "$wall" "${best_wall[$1]}"; then best_wall[$1]=$wall; fi
    sum_cpu[$1]=$(awk -v a="${sum_cpu[$1]:-0}" -v b="$cpu" 'BEGIN { print a + b }')
}
echo "timing ${#photos[@]} photos of 24 MP, $JOBS at once, best of $ROUNDS rounds" >&2
for ((r = 1; r <= ROUNDS; r++)); do
    timed Plain
    timed Resist
    echo "round $r done" >&2
done
mean() { awk -v s="$1" -v n="$ROUNDS" 'BEGIN { printf "%.2f", s / n }'; }
plain_cpu=$(mean "${sum_cpu[Plain]}")
resist_cpu=$(mean "${sum_cpu[Resist]}")
printf '\n%-34s %9s %11s\n' template "best wall" "mean CPU s"
printf '%-34s %9.2f %11.2f\n' "without removal resistance" "${best_wall[Plain]}" "$plain_cpu"
printf '%-34s %9.2f %11.2f\n' "with removal resistance ($WARP)" "${best_wall[Resist]}" "$resist_cpu"
awk -v a="${best_wall[Resist]}" -v b="${best_wall[Plain]}" -v c="$resist_cpu" -v d="$plain_cpu" \
    'BEGIN { printf "%-34s %8.1f%% %10.1f%%\n", "cost", 100 * (a / b - 1), 100 * (c / d - 1) }'
