#!/usr/bin/env bash
# Sets everything up (packages, build) and starts Tavrelle Video Converter.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh default
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: Tavrelle Video Converter is a desktop program and needs an X11 or Wayland session." >&2
  echo "It is built in build/bin/; on a machine without a display, try: xvfb-run build/bin/tavrelle" >&2
  exit 1
fi
exec build/bin/tavrelle
