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
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" "${targets[@]}"
