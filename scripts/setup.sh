#!/usr/bin/env bash
# Installs the Debian packages the project needs (only the missing ones), then configures and builds
# one configuration (all of it, or the targets named). Usage: scripts/setup.sh [default|asan|tsan] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
targets=()
for t in "$@"; do targets+=(--target "$t"); done

packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev libavdevice-dev
  libsdl2-dev libjpeg-dev libgtest-dev xvfb xauth
  desktop-file-utils appstream)
scripts/install-missing.sh "${packages[@]}"

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" "${targets[@]}"
