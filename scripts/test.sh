#!/usr/bin/env bash
# Builds and runs every test: once optimised, then the Debian package's test
# (scripts/package-test.sh), once with AddressSanitizer and
# UndefinedBehaviorSanitizer; then fuzzes the BMP reader and whole conversions briefly.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# ezdxf and GDAL: real DXF readers that the DXF tests open our files with.
# rsvg-convert (librsvg2-bin) renders our SVG files, libpng-dev reads its pictures.
# Qt 6, its Japanese translations and Japanese fonts: the desktop program and
# its tests (run headless); IPAPGothic has the metrics the layout was drawn with.
# clang-format: the layout check.
"$root/scripts/install-deps.sh" python3-ezdxf gdal-bin librsvg2-bin libpng-dev \
  qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic fonts-noto-cjk xvfb xauth clang-format

# The one-way rule of the includes and the layout of the code, before anything is built.
"$root/scripts/check-layers.sh"
"$root/scripts/check-format.sh"

jobs=$(nproc 2>/dev/null || echo 2)
run_suite() {
  local build=$1; shift
  cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
  cmake --build "$build" -j "$jobs"
  ctest --test-dir "$build" -j "$jobs" --output-on-failure
}

run_suite "$root/build" -DCMAKE_BUILD_TYPE=Release
# The Debian package: built, validated, installed, used and removed.
"$root/scripts/package-test.sh" "$root/build"
run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_SANITIZE=ON -DVP_BUILD_BENCH=OFF

# A short fuzzing run of the BMP reader and of whole conversions (libFuzzer).
"$root/scripts/fuzz.sh" 20
