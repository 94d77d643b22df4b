#!/usr/bin/env bash
# Fails when a C++ file of ours is not as clang-format (.clang-format) would lay it out.
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/vp-format.$$; then
  grep -E '^[^ ].*: (error|warning):' /tmp/vp-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  rm -f /tmp/vp-format.$$
  echo "run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/vp-format.$$
echo "format: every file as .clang-format lays it out"
