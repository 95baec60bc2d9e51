#!/usr/bin/env bash
# Screenshots of the batch plot configuration window on a virtual X display.
#   tools/screenshot-batch-config.sh [output folder]
# Builds into build/ (or $BUILD_DIR), shows the window with the sample
# preview in a scratch base folder under xvfb-run and grabs each of its four
# tabs with ImageMagick's import (batchconfig-*.png).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshots}")"
mkdir -p "$OUT"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${JOBS:-3}" --target screenshot_batch_config Strandel Varnholde
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
xvfb-run -a -s "-screen 0 1280x900x24 -dpi 96" \
  "$BUILD_DIR/bin/screenshot_batch_config" "$SCRATCH" "$OUT"
ls "$OUT"/batchconfig-*.png
