#!/usr/bin/env bash
# Screenshot of the batch window after a run, on a virtual X display.
#   tools/screenshot-batch.sh [out.png]
# Builds into build/ (or $BUILD_DIR), makes a folder of synthetic phase images
# with mkphase, starts the program in a scratch base folder under xvfb-run,
# runs Get Batch Data on the folder and grabs the screen (default
# build/screenshots/batch.png).
source "$(dirname "$0")/screenshot-common.sh"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshots/batch.png}")"
mkdir -p "$(dirname "$OUT")"
screenshot_build screenshot_batch mkphase Strandel Varnholde
screenshot_scratch
mkdir -p "$SCRATCH/Panel 7"
"$BUILD_DIR/bin/mkphase" --size 320x240 --surface "plane:0.002,0.001,0" "$SCRATCH/Panel 7/tilt_ph.tif" >/dev/null
"$BUILD_DIR/bin/mkphase" --size 320x240 --surface "cylinder:0.0005" "$SCRATCH/Panel 7/bow_ph.tif" >/dev/null
"$BUILD_DIR/bin/mkphase" --size 320x240 --surface "saddle:0.0003" "$SCRATCH/Panel 7/twist_ph.tif" >/dev/null
"$BUILD_DIR/bin/mkphase" --size 200x100 --no-header --surface "dome:0.001" "$SCRATCH/Panel 7/small_ph.tif" >/dev/null
screenshot_run 1024x768x24 screenshot_batch "$SCRATCH/base" "$SCRATCH/Panel 7" "$OUT"
echo "$OUT"
