# Shared by the tools/screenshot-*.sh scripts (sourced, not run): moves to the
# top of the source tree, builds the harness programs, makes a scratch folder
# that is removed when the script ends and runs a harness on a virtual X
# display (xvfb-run). $BUILD_DIR names the build folder (build/), $JOBS the
# number of build jobs (all cores).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD_DIR="${BUILD_DIR:-build}"

# screenshot_build TARGET...: configures $BUILD_DIR and builds the targets.
screenshot_build() {
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTA_BENCH=OFF >/dev/null
  cmake --build "$BUILD_DIR" -j"${JOBS:-$(nproc)}" --target "$@"
}

# screenshot_scratch: sets SCRATCH to a fresh folder, removed on exit.
screenshot_scratch() {
  SCRATCH="$(mktemp -d)"
  trap 'rm -rf "$SCRATCH"' EXIT
}

# screenshot_run WxHxDEPTH HARNESS ARG...: runs $BUILD_DIR/bin/HARNESS on a
# virtual screen of that size, under the openbox window manager when it is
# installed (title bars and maximised windows as a desktop places them).
screenshot_run() {
  local screen="$1" harness="$2"
  shift 2
  xvfb-run -a -s "-screen 0 $screen -dpi 96" bash -c '
    if command -v openbox >/dev/null; then
      ready="$(mktemp -u)"
      openbox --sm-disable --startup "touch $ready" >/dev/null 2>&1 &
      for _ in $(seq 1200); do [ -e "$ready" ] && break; sleep 0.05; done
      rm -f "$ready"
    fi
    exec "$@"' _ "$BUILD_DIR/bin/$harness" "$@"
}
