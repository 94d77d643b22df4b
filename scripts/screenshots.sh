#!/usr/bin/env bash
# Starts the desktop program under a virtual X server (Xvfb) and saves a PNG of
# each of its six windows (the settings dialog once per tab), and of the preview
# of a generated drawing converted with special mode and every DXF layer on.
# Usage: scripts/screenshots.sh [output folder]    (default: build/screenshots)
# VP_BUILD_DIR names another build folder (default: build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" qt6-base-dev fonts-noto-cjk xvfb xauth

build="${VP_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target velorin-pelkin make_sample_drawing

out=$(realpath -m "${1:-$build/screenshots}")
mkdir -p "$out"
# A settings folder of its own, so the user's settings are neither read nor written.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 700 "$scratch"
# The drawing for the preview: a quarter of an A4 sheet at 100 dpi.
"$build/bench/make_sample_drawing" "$scratch/drawing.bmp" --width 585 --height 413 --seed 3
XDG_CONFIG_HOME="$scratch" XDG_RUNTIME_DIR="$scratch" VP_SCREENSHOT_DIR="$out" \
  VP_SCREENSHOT_DRAWING="$scratch/drawing.bmp" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/app/gui/velorin-pelkin"
echo "screenshots in $out:"
ls -1 "$out"
