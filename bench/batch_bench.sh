#!/usr/bin/env bash
# Batch throughput: 20 generated A4 drawings at 300 dpi converted to DXF with
# --jobs 1 and --jobs 2 (best of three runs each).
# Usage: bench/batch_bench.sh BUILD_DIR [FILES]
set -euo pipefail
build=${1:?usage: bench/batch_bench.sh BUILD_DIR [FILES]}
files=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inputs=()
for i in $(seq 1 "$files"); do
  "$build/bench/make_sample_drawing" "$work/a4-$i.bmp" --width 2480 --height 3508 --seed "$i" --dpi 300 >/dev/null
  inputs+=("$work/a4-$i.bmp")
done
for jobs in 1 2; do
  best=""
  for run in 1 2 3; do
    start=$(date +%s.%N)
    "$build/cli/vpconvert" "${inputs[@]}" --to dxf --out-dir "$work/out" --jobs "$jobs" >/dev/null
    end=$(date +%s.%N)
    best=$(awk -v s="$start" -v e="$end" -v b="$best" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
  done
  awk -v n="$files" -v j="$jobs" -v t="$best" 'BEGIN { printf "%d A4 drawings, --jobs %d: %.2f s (%.2f files/s)\n", n, j, t, n / t }'
done
