#!/usr/bin/env bash
# Draws the application icon from the sample world's own art: the wizard of the
# generated world (character shape 303, standing, facing south), cut out of
# vxmap's 320 x 200 picture, put on a transparent square and scaled without
# smoothing to the hicolor sizes. Writes packaging/icons/veltharn-N.png, which
# are kept in git; run it again only when the art changes.
# Usage: ./scripts/make-icons.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/install-deps.sh
vx_packages+=(imagemagick)
vx_install_missing

build="${1:-${BUILD_DIR:-build}}"
cmake --build "$build" -j 2 --target vxworldgen vxmap >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$build/bin/vxworldgen" "$work/world" --seed 1 >/dev/null
"$build/bin/vxmap" shape --game "$work/world" --shape 303 --frame 16 --out "$work/shape.png" >/dev/null

# The picture is the figure on black: the black around it (reached from a
# corner) becomes transparent, the figure's own dark pixels stay.
convert "$work/shape.png" -alpha set -fill none -draw 'color 0,0 floodfill' \
  -trim +repage "$work/figure.png"
side="$(identify -format '%[fx:max(w,h)+2]' "$work/figure.png")"
convert "$work/figure.png" -background none -gravity center -extent "${side}x${side}" "$work/square.png"

mkdir -p packaging/icons
for size in 16 32 48 64 128 256; do
  convert "$work/square.png" -filter point -resize "${size}x${size}" \
    -define png:exclude-chunks=date,time -strip "packaging/icons/veltharn-$size.png"
done
ls -l packaging/icons
