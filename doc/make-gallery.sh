#!/bin/bash
# make-gallery.sh [BUILD_DIR] - draws the README's gallery again: runs
# examples/gallery.c (built as BUILD_DIR/examples/example_gallery) on a
# private Xvfb and writes doc/gallery/*.png with kova's own image saving,
# with the last frame of examples/heat.c; then the old plotting program
# examples/sine_plot.f saves its page.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
gallery=$build/examples/example_gallery
[ -x "$gallery" ] || { echo "make-gallery.sh: build first (./build.sh build)" >&2; exit 1; }

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
read -r -t 30 number <&"$fd"
DISPLAY=:$number "$gallery" doc/gallery pnmtopng
DISPLAY=:$number "$build/examples/example_heat" doc/gallery/heat.png
sine=$build/examples/example_sine_plot
if [ -x "$sine" ]; then
    DISPLAY=:$number KOVA_PLOTTER_WAIT=0 KOVA_PLOTTER_SAVE=doc/gallery/sine_plot.png "$sine"
fi
ls doc/gallery
