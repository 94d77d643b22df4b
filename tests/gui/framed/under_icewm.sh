#!/usr/bin/env bash
# Runs a test program under a virtual X server with IceWM framing its
# windows, as scripts/screenshots.sh runs the program. Exit 77 (skipped)
# without xvfb-run or icewm.
set -uo pipefail
command -v xvfb-run >/dev/null && command -v icewm >/dev/null && command -v xwininfo >/dev/null || exit 77
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/icewm"
printf '%s\n' 'ShowTaskBar=0' >"$scratch/icewm/prefoverride"
XDG_CONFIG_HOME="$scratch" XDG_RUNTIME_DIR="$scratch" ICEWM_PRIVCFG="$scratch/icewm" LANG=C.UTF-8 \
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash -c 'icewm >/dev/null 2>&1 & wm=$!; sleep 2; "$@"; status=$?; kill $wm; exit $status' wm "$@"
