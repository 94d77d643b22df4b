#!/usr/bin/env bash
# Starts the desktop program under a virtual X server (Xvfb) with a window
# manager and the Japanese locale, and saves a PNG of each of its six
# windows with their frames (the settings dialog once per tab), a message box,
# the open and save dialogs, the preview of a generated drawing converted
# with special mode and every DXF layer on, and the preview over the ink image
# of a grey JPEG made from that drawing.
# Usage: scripts/screenshots.sh [output folder]    (default: build/screenshots)
# VP_BUILD_DIR names another build folder (default: build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic fonts-noto-cjk \
  xvfb xauth icewm

build="${VP_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target velorin-pelkin make_sample_drawing

out=$(realpath -m "${1:-$build/screenshots}")
mkdir -p "$out"
# A settings folder of its own, so the user's settings are neither read nor written.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 700 "$scratch"
# The drawing for the preview: a quarter of an A4 sheet at 100 dpi, in a
# folder of its own for the open and save dialogs.
mkdir -p "$scratch/図面"
"$build/bench/make_sample_drawing" "$scratch/図面/drawing.bmp" --width 585 --height 413 --seed 3
# Its title font must have the Japanese glyphs, and it draws titles in a UTF-8
# locale only (C.UTF-8 is always there); no task bar over the windows.
mkdir -p "$scratch/icewm"
printf '%s\n' 'TitleFontNameXft="IPAPGothic:size=10"' 'ShowTaskBar=0' >"$scratch/icewm/prefoverride"
# The window manager draws the frames. IceWM, because it draws the title-bar
# buttons a window asks for (openbox draws its own set on every window).
XDG_CONFIG_HOME="$scratch" XDG_RUNTIME_DIR="$scratch" VP_SCREENSHOT_DIR="$out" \
  VP_SCREENSHOT_DRAWING="$scratch/図面/drawing.bmp" LANG=ja_JP.UTF-8 LANGUAGE=ja ICEWM_PRIVCFG="$scratch/icewm" \
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash -c 'LC_ALL=C.UTF-8 icewm >/dev/null 2>&1 & wm=$!; sleep 2; "$0"; status=$?; kill $wm; exit $status' \
  "$build/app/gui/velorin-pelkin"
echo "screenshots in $out:"
ls -1 "$out"
