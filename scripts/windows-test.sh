#!/usr/bin/env bash
# The converter on Windows: cross-builds the core, the BMP/PBM readers, vpconvert
# and the core's tests with Debian's mingw-w64 (posix threads), runs the tests and
# a set of conversions under Debian's wine64, compares every output with the
# Linux build's byte for byte, and makes the zip (vpconvert.exe, DXFHED.TXT,
# README-ja.txt).
# Usage: scripts/windows-test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# googletest: the source package (/usr/src/googletest), built for Windows here.
"$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix wine64 googletest unzip
jobs=$(nproc 2>/dev/null || echo 2)
wine=/usr/lib/wine/wine64

linux="$root/build"
cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux" -j "$jobs" --target vpconvert make_sample_drawing

windows="$root/build-windows"
cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DVP_BUILD_GUI=OFF -DVP_BUILD_BENCH=OFF -DVP_WITH_TIFF=OFF -DVP_WITH_PNG=OFF -DVP_WITH_JPEG=OFF -DVP_WITH_PDF=OFF \
  -DVP_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
cmake --build "$windows" -j "$jobs"

work=$(mktemp -d)
# A wine prefix of our own, thrown away at the end (its server stopped first).
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
"$wine" wineboot --init >/dev/null 2>&1 || true

echo "== the core's tests under wine64"
# Left out, as they test what only POSIX systems do: symbolic links
# (ReplacementKeepsPermissionsAndLinks, ReloadingTheTemplate), removing a file that is open for writing
# (WriteFailureKeepsTheEarlierFile), errno values in the system error category
# (SystemErrorsToMessages; Windows puts its own codes there), and named locales
# (IgnoresTheLocale; MinGW's C++ library has only the "C" locale).
linux_only='AtomicFileTest.ReplacementKeepsPermissionsAndLinks'
linux_only+=':DxfWriterFile.ReloadingTheTemplate:TextWriterFile.WriteFailureKeepsTheEarlierFile'
linux_only+=':FileErrorText.SystemErrorsToMessages:CoordinateText.IgnoresTheLocale'
for suite in test_raster test_bmp test_vector test_export test_core; do
  echo "-- $suite.exe"
  (cd "$work" && "$wine" "$windows/tests/$suite.exe" --gtest_brief=1 --gtest_filter="-$linux_only") |
    sed '/^  /d'  # without the BMP suite's line per file
done

echo "== conversions: Windows against Linux, byte for byte"
maker="$linux/bench/make_sample_drawing"
"$maker" "$work/a4-1bit.bmp" --seed 1 >/dev/null
"$maker" "$work/small-8bit.bmp" --width 640 --height 480 --bits 8 --seed 2 >/dev/null
"$maker" "$work/small-24bit.bmp" --width 500 --height 700 --bits 24 --seed 3 --dpi 200 >/dev/null
# Japanese names, in the arguments and in the outputs.
cp "$work/small-8bit.bmp" "$work/図面.bmp"
# Each case: input, output extension, options.
cases=(
  "a4-1bit.bmp|txt|--rate 0.254"
  "a4-1bit.bmp|csv|--rate 0.254 --separator comma --decimals 2"
  "a4-1bit.bmp|dxf|--rate 0.254"
  "a4-1bit.bmp|dxf|--rate 0.254 --dxf-split --dxf-short 3 --dxf-decimals 5"
  "a4-1bit.bmp|jwc|--rate 0.254 --jwc-color 2 --jwc-split 1,2,3"
  "a4-1bit.bmp|svg|--rate 0.254 --dxf-split"
  "a4-1bit.bmp|dxf|--rate 0.254 --special"
  "a4-1bit.bmp|txt|--rate 0.254 --special --tolerance 3.5"
  "a4-1bit.bmp|jwc|--rate 0.254 --special --passes 2"
  "small-8bit.bmp|dxf|--passes 1"
  "small-24bit.bmp|svg|--rate from-dpi:50"
  "small-24bit.bmp|pbm|--passes 4"
  "図面.bmp|dxf|--rate 0.5 --special"
  "図面.bmp|jwc|--rate 0.5"
)
mkdir -p "$work/linux" "$work/windows"
failed=0
n=0
for c in "${cases[@]}"; do
  IFS='|' read -r input extension options <<<"$c"
  n=$((n + 1))
  name="${input%.bmp}-$n.$extension"
  output=(-o "$name")
  # The thinned image is its own output (--thinned), beside a coordinate text.
  [ "$extension" = pbm ] && output=(-o "${input%.bmp}-$n.txt" --thinned "$name")
  # shellcheck disable=SC2086
  (cd "$work/linux" && "$linux/cli/vpconvert" "../$input" "${output[@]}" $options --quiet)
  # shellcheck disable=SC2086
  (cd "$work/windows" && "$wine" "$windows/cli/vpconvert.exe" "..\\$input" "${output[@]}" $options --quiet)
  for f in "$work/linux/${input%.bmp}-$n".*; do
    other="$work/windows/$(basename "$f")"
    if cmp -s "$f" "$other"; then
      echo "same: $(basename "$f") ($(stat -c %s "$f") bytes; $options)"
    else
      echo "DIFFERENT: $(basename "$f") ($options)" >&2
      failed=1
    fi
  done
done

echo "== replacing an existing output under Windows"
(cd "$work/windows" && printf 'old and longer than nothing\r\n' >replace.txt &&
  "$wine" "$windows/cli/vpconvert.exe" ../small-8bit.bmp -o replace.txt --quiet)
(cd "$work/linux" && "$linux/cli/vpconvert" ../small-8bit.bmp -o replace.txt --quiet)
if cmp -s "$work/linux/replace.txt" "$work/windows/replace.txt"; then
  echo "same: replace.txt (an existing file replaced)"
else
  echo "DIFFERENT: replace.txt" >&2
  failed=1
fi
leftovers=$(find "$work/windows" -name '.velorin-*' | wc -l)
[ "$leftovers" -eq 0 ] || { echo "temporary files left behind: $leftovers" >&2; failed=1; }
[ $failed -eq 0 ] || { echo "the Windows converter's outputs differ from Linux's" >&2; exit 1; }

echo "== the zip"
rm -f "$windows"/vpconvert-*-windows-x64.zip
(cd "$windows" && cpack -G ZIP >/dev/null)
zip=$(ls "$windows"/vpconvert-*-windows-x64.zip)
unzip -l "$zip"
echo "windows test passed: $zip"
