#!/usr/bin/env bash
# Builds the converter and runs its main job on a sample drawing that the build generates.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vpconvert make_sample_drawing

out="$build/sample"
mkdir -p "$out"
"$build/bench/make_sample_drawing" "$out/sample_drawing.bmp"
"$build/cli/vpconvert" "$out/sample_drawing.bmp" -o "$out/sample_drawing.txt" --rate 0.254 \
  --thinned "$out/sample_drawing_thinned.pbm"
echo "sample drawing:  $out/sample_drawing.bmp"
echo "segments:        $out/sample_drawing.txt"
echo "thinned image:   $out/sample_drawing_thinned.pbm"
