#!/bin/bash
# The demo on a machine without a display: run-x8a.sh draws on a private
# Xvfb and leaves x8a's last frame where it says, a picture of many colours.
#
#   demo_picture.sh SOURCE_DIR X8A
set -euo pipefail
src=$1
x8a=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
out=$(env -u DISPLAY "$src/demo/run-x8a.sh" "$x8a" "$tmp/frame")
echo "$out"
picture=$tmp/frame.png
command -v convert >/dev/null || picture=$tmp/frame.ppm
grep -qxF "x8a: its last frame is in $picture" <<<"$out" || { echo "the picture's place is not named"; exit 1; }
size=$(identify -format '%wx%h' "$picture")
[ "$size" = 1024x768 ] || { echo "the picture is $size, not 1024x768"; exit 1; }
colours=$(convert "$picture" -format '%k' info:)
[ "$colours" -gt 100 ] || { echo "the picture is blank: $colours colours"; exit 1; }
