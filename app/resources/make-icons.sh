#!/usr/bin/env bash
# Draws the program's icon, a circular emblem: a ring in the progress bar's light blue around an
# arrow that writes into a chip. Run it after changing the drawing and commit the files it makes;
# the build uses the committed files and does not need ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"

navy='#1F2A6B'
light_blue='#8080FF'  # the fill of the progress bar, red 128, green 128, blue 255

convert -size 256x256 xc:none \
    -fill "$navy" -draw 'circle 128,128 128,4' \
    -fill "$light_blue" -draw 'circle 128,128 128,22' \
    -fill white -draw 'circle 128,128 128,42' \
    -fill "$navy" \
    -draw 'polygon 110,58 146,58 146,116 172,116 128,160 84,116 110,116' \
    -draw 'roundrectangle 74,172 182,196 8,8' \
    -draw 'rectangle 86,196 94,208' -draw 'rectangle 110,196 118,208' \
    -draw 'rectangle 138,196 146,208' -draw 'rectangle 162,196 170,208' \
    firmware-update-256.png

convert firmware-update-256.png -depth 8 firmware-update-256.png
for size in 48 32 16; do
    convert firmware-update-256.png -resize "${size}x${size}" -depth 8 "firmware-update-${size}.png"
done
# The classic window icon: 32 x 32 in 16 colours.
convert firmware-update-32.png -colors 16 PNG8:firmware-update-32.png

convert firmware-update-16.png firmware-update-32.png firmware-update-48.png \
    firmware-update-256.png firmware-update.ico
