#!/usr/bin/env bash
# Builds the converter and runs its main job on a sample drawing that the build
# generates; then opens the desktop program (velorin-pelkin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic fonts-noto-cjk \
  xvfb xauth

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vpconvert make_sample_drawing velorin-pelkin

out="$build/sample"
mkdir -p "$out"
"$build/bench/make_sample_drawing" "$out/sample_drawing.bmp"
"$build/cli/vpconvert" "$out/sample_drawing.bmp" -o "$out/sample_drawing.txt" --rate 0.254 \
  --thinned "$out/sample_drawing_thinned.pbm"
echo "sample drawing:  $out/sample_drawing.bmp"
echo "segments:        $out/sample_drawing.txt"
echo "thinned image:   $out/sample_drawing_thinned.pbm"

# The desktop program needs a display.
desktop="$build/app/gui/velorin-pelkin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "opening the desktop program: $desktop (open $out/sample_drawing.bmp with ふぁいるをひらく)"
  "$desktop"
else
  echo "no display (DISPLAY is not set), so the desktop program was not opened."
  echo "on a desktop, run:            $desktop"
  echo "here, see its windows as PNG pictures (taken under xvfb-run):"
  echo "                              bash scripts/screenshots.sh"
fi
