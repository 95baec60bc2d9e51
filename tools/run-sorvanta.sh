#!/usr/bin/env bash
# Builds Sorvanta and starts it on the bundled synthetic sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target Sorvanta mkphase
SAMPLE=""
if [ -x build/bin/mkphase ]; then
  mkdir -p build/sample
  build/bin/mkphase --sample build/sample/Sample_ph.tif >/dev/null
  SAMPLE=build/sample/Sample_ph.tif
fi
exec build/bin/Sorvanta ${SAMPLE:+"$SAMPLE"}
