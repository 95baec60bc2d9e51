#!/usr/bin/env bash
# Screenshots of the plot windows on a virtual X display.
#   tools/screenshot-plots.sh [output folder]
# Builds into build/ (or $BUILD_DIR), analyses a synthetic dome in a scratch
# base folder under xvfb-run, shows the 3D, contour (fill and lines), chord
# pick, chord profile and diagonal windows and the legend maker in turn and
# grabs the screen of each with ImageMagick's import (plot-*.png).
source "$(dirname "$0")/screenshot-common.sh"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshots}")"
mkdir -p "$OUT"
screenshot_build screenshot_plots Strandel Varnholde
screenshot_scratch
screenshot_run 1024x768x24 screenshot_plots "$SCRATCH" "$OUT"
ls "$OUT"/plot-*.png
