#!/usr/bin/env bash
# Screenshot of the phase-image window at one step of a crop, on a virtual X display.
#   tools/screenshot-editor.sh [output.png] [step: open|drag|finished|mask|jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshot-editor.png}")"
STEP="${2:-open}"
cmake --build "$BUILD_DIR" -j3 --target screenshot_editor Strandel Varnholde >/dev/null
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
rm -f "$OUT"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$BUILD_DIR/bin/screenshot_editor" "$SCRATCH" "$OUT" "$STEP"
test -s "$OUT"
echo "$OUT"
