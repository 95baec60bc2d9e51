#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Sorvanta.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config git \
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libxkbcommon-dev \
  libtiff-dev zlib1g-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libjpeg-dev libpng-dev \
  libtiff-tools imagemagick netpbm libjpeg-turbo-progs giflib-tools \
  clang libclang-rt-dev \
  xvfb xauth x11-utils xdotool openbox desktop-file-utils libxcb1-dev fonts-dejavu-core fonts-ipafont-gothic qt6-qpa-plugins \
  >/dev/null
