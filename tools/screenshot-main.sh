#!/usr/bin/env bash
# Screenshot of the main window after a calculation, on a virtual X display.
#   tools/screenshot-main.sh [output.png] [phase image]
# Builds into build/ (or $BUILD_DIR), starts the program in a scratch base
# folder under xvfb-run, confirms the units dialog, calculates and grabs the
# screen with ImageMagick's import.
source "$(dirname "$0")/screenshot-common.sh"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshot-main.png}")"
IMAGE="${2:+$(realpath "$2")}"
screenshot_build screenshot_driver Strandel Varnholde
screenshot_scratch
screenshot_run 1024x768x24 screenshot_driver "$SCRATCH" "$OUT" ${IMAGE:+"$IMAGE"}
echo "$OUT"
