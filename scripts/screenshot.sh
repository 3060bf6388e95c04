#!/usr/bin/env bash
# Takes a screenshot of the main window under Xvfb into docs/screenshot.png, then draws the queue after
# a conversion (docs/queue.png), the progress window (docs/progress.png), the preview playing
# (docs/preview.png), the edit window (docs/edit.png) and the settings dialog (docs/settings.png)
# offscreen; the same windows at twice the scale go to <build folder>/screenshots-200 to be looked at.
# Installs the programs it needs (xvfb, xauth, ImageMagick, x11-utils) when they are missing.
# Usage: scripts/screenshot.sh [build folder] (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
program="$build/bin/tavrelle"
shots="$build/bin/tvl-screenshots"
media="$build/testmedia"
out="docs/screenshot.png"
[ -x "$program" ] || { echo "screenshot: $program not built (run ./run.sh or cmake --build $build)" >&2; exit 1; }
[ -x "$shots" ] && [ -d "$media" ] ||
  { echo "screenshot: run cmake --build $build --target tvl-screenshots tvl_testmedia" >&2; exit 1; }

# xvfb-run (xvfb, xauth), import (imagemagick), xwininfo (x11-utils).
scripts/install-missing.sh xvfb xauth imagemagick x11-utils
mkdir -p docs

# A private runtime folder, so a running copy of the program does not refuse this one.
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT

# Inside the virtual display (no window manager, so the window has no frame): start the program, wait
# until its window is viewable, grab the screen and cut the window out, close the program.
xvfb-run -a -s "-screen 0 1024x700x24" env XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb \
  bash -c '
    set -e
    "$1" & pid=$!
    geometry=""
    for _ in $(seq 1 100); do
      for id in $(xwininfo -root -tree 2>/dev/null | awk "/\"Tavrelle Video Converter\"/ {print \$1}"); do
        info=$(xwininfo -id "$id")
        if grep -q "IsViewable" <<<"$info"; then
          x=$(awk "/Absolute upper-left X/ {print \$4}" <<<"$info")
          y=$(awk "/Absolute upper-left Y/ {print \$4}" <<<"$info")
          w=$(awk "/Width:/ {print \$2}" <<<"$info")
          h=$(awk "/Height:/ {print \$2}" <<<"$info")
          geometry="${w}x${h}+${x}+${y}"
        fi
      done
      [ -n "$geometry" ] && break
      sleep 0.1
    done
    [ -n "$geometry" ] || { echo "screenshot: the window did not appear" >&2; kill $pid; exit 1; }
    sleep 1 # let the first paint finish
    import -window root -crop "$geometry" +repage "$2"
    kill $pid
    wait $pid 2>/dev/null || true
  ' screenshot "$program" "$out"
echo "screenshot: wrote $out"

XDG_RUNTIME_DIR="$runtime" "$shots" "$build/bin" "$media" docs
echo "screenshot: wrote docs/queue.png, docs/progress.png, docs/preview.png, docs/edit.png and docs/settings.png"
mkdir -p "$build/screenshots-200"
XDG_RUNTIME_DIR="$runtime" QT_SCALE_FACTOR=2 "$shots" "$build/bin" "$media" "$build/screenshots-200"
echo "screenshot: wrote the same windows at twice the scale into $build/screenshots-200"
