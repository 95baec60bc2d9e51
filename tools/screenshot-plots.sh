#!/usr/bin/env bash
# Screenshots of the plot windows on a virtual X display.
#   tools/screenshot-plots.sh [output folder]
# Builds into build/ (or $BUILD_DIR), analyses a synthetic dome in a scratch
# base folder under xvfb-run, shows the 3D, contour (fill and lines), chord
# pick, chord profile and diagonal windows and the legend maker in turn and
# grabs the screen of each with ImageMagick's import (plot-*.png).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshots}")"
mkdir -p "$OUT"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target screenshot_plots Strandel Varnholde
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$BUILD_DIR/bin/screenshot_plots" "$SCRATCH" "$OUT"
ls "$OUT"/plot-*.png
