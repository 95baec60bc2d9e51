#!/usr/bin/env bash
# Screenshot of the phase-image window at one step of a crop, on a virtual X display.
#   tools/screenshot-editor.sh [output.png] [step: open|drag|finished|mask|jobs]
source "$(dirname "$0")/screenshot-common.sh"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshot-editor.png}")"
STEP="${2:-open}"
screenshot_build screenshot_editor Strandel Varnholde >/dev/null
screenshot_scratch
rm -f "$OUT"
screenshot_run 1024x768x24 screenshot_editor "$SCRATCH" "$OUT" "$STEP"
test -s "$OUT"
echo "$OUT"
