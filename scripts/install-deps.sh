#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
# Usage: scripts/install-deps.sh [extra packages...]
set -euo pipefail

# libtiff-dev, libpng-dev and libjpeg62-turbo-dev: the TIFF, PNG and JPEG input
# (imageio/), part of every build; libmupdf-dev the PDF input, with the libraries
# its static archives need (Debian's package does not pull them in).
# help2man makes the converter's manual page, rsvg-convert (librsvg2-bin) the icon's bitmaps.
# potrace: mkbitmap and potrace, which the benchmarks run side by side with ours.
packages=(cmake ninja-build g++ libgtest-dev libtiff-dev libpng-dev libjpeg62-turbo-dev libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev libfreetype-dev libharfbuzz-dev pkg-config help2man librsvg2-bin potrace "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
