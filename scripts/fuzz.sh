#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each of them for a while: first over the
# kept regression inputs, then from the seed corpus.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]    (default 30)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev

build="$root/build-fuzz"
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_FUZZ=ON \
  -DVP_BUILD_TESTS=OFF -DVP_BUILD_BENCH=OFF -DVP_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target bmp_reader_fuzzer conversion_fuzzer image_reader_fuzzer make_fuzz_seeds \
  make_image_seeds pdf_reader_fuzzer make_pdf_seeds

work="$build/work"
rm -rf "$work/seeds"
for target in reader conversion image pdf; do mkdir -p "$work/seeds/$target" "$work/corpus/$target"; done
"$build/fuzz/make_fuzz_seeds" "$work/seeds/reader" "$work/seeds/conversion"
"$build/fuzz/make_image_seeds" "$work/seeds/image"
"$build/fuzz/make_pdf_seeds" "$work/seeds/pdf"
suite="$root/tests/data/bmpsuite"
find "$suite" -name '*.bmp' -size -64k -exec cp {} "$work/seeds/reader/" \;

limits=(-rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=10 -max_len=16384 -print_final_stats=1)
status=0
declare -A binaries=([reader]=bmp_reader_fuzzer [conversion]=conversion_fuzzer [image]=image_reader_fuzzer
  [pdf]=pdf_reader_fuzzer)
for target in reader conversion image pdf; do
  binary="$build/fuzz/${binaries[$target]}"
  regressions="$root/fuzz/regressions/$target"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    echo "== $target: replaying kept regression inputs"
    "$binary" "${limits[@]}" "$regressions"/* || status=1
  fi
  echo "== $target: fuzzing for $seconds s"
  (cd "$work" && "$binary" "${limits[@]}" -max_total_time="$seconds" \
     -artifact_prefix="$work/$target-" "$work/corpus/$target" "$work/seeds/$target") || status=1
done
if [ $status -ne 0 ]; then
  echo "fuzzing found a failure; the input is in $work (artifacts named $work/<target>-crash-*)" >&2
fi
exit $status
