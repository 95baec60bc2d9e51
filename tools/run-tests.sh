#!/usr/bin/env bash
# Builds everything and runs every test: the main build, then the image kernel
# again under the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$JOBS"
ctest --test-dir build -j"$JOBS" --output-on-failure --timeout 600

if [ -f thumbctl/kernel/tests/CMakeLists.txt ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSORVANTA_SANITIZE=ON -DSORVANTA_KERNEL_ONLY=ON >/dev/null
  cmake --build build-asan -j"$JOBS"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j"$JOBS" --output-on-failure --timeout 900
fi
