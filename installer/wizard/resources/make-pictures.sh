#!/usr/bin/env bash
# Draws the installer window's pictures and icons with ImageMagick; the
# results are committed beside this script, so the build needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"

# The motif: a blue rounded tile in a silver frame, a white arrow pointing
# down into a white tray. Drawn at 500 x 500 on the given ground.
motif() {  # ground output
  convert -size 500x500 "xc:$1" \
    -fill '#c0c4cc' -stroke '#8a8f99' -strokewidth 6 -draw 'roundrectangle 60,60 440,440 70,70' \
    -fill '#1f5fbf' -stroke '#174a96' -strokewidth 4 -draw 'roundrectangle 85,85 415,415 55,55' \
    -fill white -stroke none \
    -draw 'rectangle 222,120 278,260' \
    -draw 'polygon 170,250 330,250 250,340' \
    -draw 'rectangle 140,330 165,380' -draw 'rectangle 335,330 360,380' \
    -draw 'rectangle 140,360 360,385' \
    "$2"
}
motif white header.jpg
motif '#004080' sidepanel.jpg

# The program's icon: the motif at icon sizes.
motif white /tmp/norvale-motif.png
convert /tmp/norvale-motif.png -fuzz 2% -transparent white \
  \( -clone 0 -resize 16x16 \) \( -clone 0 -resize 32x32 \) \( -clone 0 -resize 48x48 \) \
  -delete 0 installer.ico
rm -f /tmp/norvale-motif.png

# 101: a yellow open folder.
convert -size 32x32 xc:none \
  -fill '#d9a400' -stroke '#8a6a00' -strokewidth 1 \
  -draw 'polygon 2,7 11,7 13,10 28,10 28,27 2,27' \
  -fill '#ffd84a' -draw 'polygon 7,14 31,14 27,27 2,27' \
  -colors 255 folder.ico

# 102: a monitor showing a desktop with icons.
convert -size 32x32 xc:none \
  -fill '#505860' -stroke '#30343a' -strokewidth 1 -draw 'roundrectangle 2,3 29,23 2,2' \
  -fill '#2f7fd0' -stroke none -draw 'rectangle 5,6 26,20' \
  -fill white -draw 'rectangle 7,8 9,10' -draw 'rectangle 7,13 9,15' \
  -fill '#ffd84a' -draw 'rectangle 12,8 14,10' -fill '#7fe07f' -draw 'rectangle 12,13 14,15' \
  -fill '#808890' -draw 'rectangle 13,23 18,26' -draw 'rectangle 9,26 22,28' \
  -colors 255 group.ico
