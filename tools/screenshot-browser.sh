#!/usr/bin/env bash
# Screenshots of the result browser and the full-size viewer on a virtual X
# display.
#   tools/screenshot-browser.sh FOLDER [browser.png] [viewer.png]
# FOLDER holds phase images and their results (for instance a folder after
# sorvanta-batch --output 3d,contour,diagonal). The control is registered
# into a scratch class registry; the user's own registry is not touched.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
FOLDER="$(realpath "$1")"
OUT1="$(realpath -m "${2:-$BUILD_DIR/screenshot-browser.png}")"
OUT2="$(realpath -m "${3:-$BUILD_DIR/screenshot-viewer.png}")"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${JOBS:-$(nproc)}" --target screenshot_browser Norvikel norvikel-regsvr Strandel Varnholde
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
export SORVANTA_CLASS_REGISTRY="$SCRATCH/classes.reg"
"$BUILD_DIR/bin/norvikel-regsvr" register "$BUILD_DIR/bin/libNorvikel.so" >/dev/null
IMAGE="$(ls "$FOLDER"/*_ph.tif | head -n 1)"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$BUILD_DIR/bin/screenshot_browser" "$SCRATCH" "$IMAGE" "$OUT1" "$OUT2"
echo "$OUT1"
echo "$OUT2"
