#!/usr/bin/env bash
# Screenshots of the batch plot configuration window on a virtual X display.
#   tools/screenshot-batch-config.sh [output folder]
# Builds into build/ (or $BUILD_DIR), shows the window with the sample
# preview in a scratch base folder under xvfb-run and grabs each of its four
# tabs with ImageMagick's import (batchconfig-*.png).
source "$(dirname "$0")/screenshot-common.sh"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshots}")"
mkdir -p "$OUT"
screenshot_build screenshot_batch_config Strandel Varnholde
screenshot_scratch
screenshot_run 1280x900x24 screenshot_batch_config "$SCRATCH" "$OUT"
ls "$OUT"/batchconfig-*.png
