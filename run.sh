#!/usr/bin/env bash
# Sets everything up (packages, build) and starts Tavrelle Video Converter. On a machine without a
# display it converts a generated sample clip with the default profile instead, and says where the
# output went.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh default
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/tavrelle
fi

echo "No display: converting a sample clip with tavrelle-convert instead of opening the window."
cmake --build --preset default --target tvl_testmedia >/dev/null
sample="build/testmedia/clip25.avi"
build/bin/tavrelle-convert --output build/bin/output "$sample"
echo "The converted file is in $(pwd)/build/bin/output/."
echo "With a display, ./run.sh opens the program; without one, try: xvfb-run build/bin/tavrelle"
