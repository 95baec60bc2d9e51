#!/usr/bin/env bash
# Screenshots of the result browser and the full-size viewer on a virtual X
# display.
#   tools/screenshot-browser.sh FOLDER [browser.png] [viewer.png]
# FOLDER holds phase images and their results (for instance a folder after
# sorvanta-batch --output 3d,contour,diagonal). The control is registered
# into a scratch class registry; the user's own registry is not touched.
source "$(dirname "$0")/screenshot-common.sh"
FOLDER="$(realpath "$1")"
OUT1="$(realpath -m "${2:-$BUILD_DIR/screenshot-browser.png}")"
OUT2="$(realpath -m "${3:-$BUILD_DIR/screenshot-viewer.png}")"
screenshot_build screenshot_browser Norvikel norvikel-regsvr Strandel Varnholde
screenshot_scratch
export SORVANTA_CLASS_REGISTRY="$SCRATCH/classes.reg"
"$BUILD_DIR/bin/norvikel-regsvr" register "$BUILD_DIR/bin/libNorvikel.so" >/dev/null
IMAGE="$(ls "$FOLDER"/*_ph.tif | head -n 1)"
screenshot_run 1024x768x24 screenshot_browser "$SCRATCH" "$IMAGE" "$OUT1" "$OUT2"
echo "$OUT1"
echo "$OUT2"
