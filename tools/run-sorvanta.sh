#!/usr/bin/env bash
# Builds Sorvanta, registers its thumbnail control for the user and starts the
# program on the bundled synthetic sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target Sorvanta mkphase Norvikel norvikel-regsvr
# Registers the thumbnail control just built for this user, as an installation
# does, so that "View Thumbnails" finds it (the class registry is
# ~/.config/Sorvanta/classes.reg, or $SORVANTA_CLASS_REGISTRY when set).
build/bin/norvikel-regsvr register build/bin/libNorvikel.so
SAMPLE=""
if [ -x build/bin/mkphase ]; then
  mkdir -p build/sample
  build/bin/mkphase --sample build/sample/Sample_ph.tif >/dev/null
  SAMPLE=build/sample/Sample_ph.tif
fi
exec build/bin/Sorvanta ${SAMPLE:+"$SAMPLE"}
