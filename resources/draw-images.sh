#!/bin/sh
# Draws the program's pictures with ImageMagick and writes them beside this
# script: toolbar.bmp (bitmap 201: ten 25 x 25 images side by side, 253 x 27,
# 24 bits), exit.bmp (bitmap 202: a red cross, 26 x 26, 24 bits) and
# tvclient.ico (icon 200: a television at 48, 32 and 16 pixels, 32 bits).
# Run it again after changing a picture, and commit what it writes.
set -e
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fg="#e8e8e8"
draw() {  # draw NAME PRIMITIVES...: one 25 x 25 image on black
    name=$1
    shift
    convert -size 25x25 xc:black -fill "$fg" -stroke none "$@" "$work/$name.png"
}

draw 0 -draw "polygon 12,5 12,19 4,12" -draw "polygon 21,5 21,19 13,12"
draw 1 -draw "polygon 16,5 16,19 7,12"
draw 2 -draw "polygon 8,5 8,19 19,12"
draw 3 -draw "rectangle 7,7 17,17"
draw 4 -draw "polygon 9,5 9,19 18,12"
draw 5 -draw "polygon 4,5 4,19 12,12" -draw "polygon 13,5 13,19 21,12"
draw 6 -draw "rectangle 6,3 18,21" -fill black \
       -draw "rectangle 8,6 16,7" -draw "rectangle 8,10 16,11" \
       -draw "rectangle 8,14 16,15" -draw "rectangle 8,18 13,19"
draw 7 -font DejaVu-Sans-Bold -pointsize 20 -gravity center -annotate +0+1 "?"
draw 8 -font DejaVu-Sans-Bold -pointsize 19 -gravity center -annotate +0+1 "\$"
draw 9 -draw "polygon 3,9 7,9 12,4 12,20 7,15 3,15" \
       -stroke "#ff3030" -strokewidth 2 -draw "line 15,8 22,16" -draw "line 22,8 15,16"

# The strip: 253 x 27, the ten images from the left, black beyond.
convert -size 253x27 xc:black \
    "$work/0.png" -geometry +0+0 -composite "$work/1.png" -geometry +25+0 -composite \
    "$work/2.png" -geometry +50+0 -composite "$work/3.png" -geometry +75+0 -composite \
    "$work/4.png" -geometry +100+0 -composite "$work/5.png" -geometry +125+0 -composite \
    "$work/6.png" -geometry +150+0 -composite "$work/7.png" -geometry +175+0 -composite \
    "$work/8.png" -geometry +200+0 -composite "$work/9.png" -geometry +225+0 -composite \
    -alpha off -type TrueColor BMP3:toolbar.bmp

convert -size 26x26 xc:black -stroke "#ff2020" -strokewidth 4 \
    -draw "line 6,6 19,19" -draw "line 19,6 6,19" -alpha off -type TrueColor BMP3:exit.bmp

# The icon: a television with two antennas and a blue screen.
convert -size 48x48 xc:none \
    -stroke "#c0c0c0" -strokewidth 2 -draw "line 24,14 14,3" -draw "line 24,14 34,3" \
    -stroke none -fill "#3a3a3a" -draw "roundrectangle 3,13 44,41 5,5" \
    -fill "#1e6fd9" -draw "roundrectangle 7,17 35,37 3,3" \
    -fill "#80c0ff" -draw "polygon 10,20 20,20 10,28" \
    -fill "#d0d0d0" -draw "circle 40,22 40,24" -draw "circle 40,30 40,32" \
    -fill "#3a3a3a" -draw "rectangle 10,41 14,45" -draw "rectangle 33,41 37,45" \
    "$work/tv48.png"
convert "$work/tv48.png" -resize 32x32 "$work/tv32.png"
convert "$work/tv48.png" -resize 16x16 "$work/tv16.png"
convert "$work/tv48.png" "$work/tv32.png" "$work/tv16.png" -define icon:format=bmp tvclient.ico
echo "wrote toolbar.bmp, exit.bmp and tvclient.ico"
