#!/usr/bin/env bash
# Screenshot of the main window after a calculation, on a virtual X display.
#   tools/screenshot-main.sh [output.png] [phase image]
# Builds into build/ (or $BUILD_DIR), starts the program in a scratch base
# folder under xvfb-run, confirms the units dialog, calculates and grabs the
# screen with ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
OUT="$(realpath -m "${1:-$BUILD_DIR/screenshot-main.png}")"
IMAGE="${2:+$(realpath "$2")}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target screenshot_driver Strandel Varnholde
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$BUILD_DIR/bin/screenshot_driver" "$SCRATCH" "$OUT" ${IMAGE:+"$IMAGE"}
echo "$OUT"
