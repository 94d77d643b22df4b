#!/usr/bin/env bash
# Builds the Debian package, checks its menu entry and AppStream metainfo,
# installs it with apt-get, converts a sample drawing to DXF with the installed
# vpconvert and the installed header template, then removes the package and
# checks that nothing of it is left.
# Usage: scripts/package-test.sh [BUILD_DIR]    (default: build, a Release build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
"$root/scripts/install-deps.sh" desktop-file-utils appstream dpkg-dev qt6-base-dev

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if dpkg -s velorin-pelkin >/dev/null 2>&1; then
  echo "velorin-pelkin is installed already; remove it first (apt-get remove velorin-pelkin)" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
rm -f "$build"/velorin-pelkin_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velorin-pelkin_"$version"_*.deb)
echo "== package: $deb"
dpkg-deb -f "$deb" Package Version Depends Recommends
# The fields are read once: grep -q leaving a pipe early would fail the
# pipeline (pipefail) whenever dpkg-deb was still writing.
recommends=$(dpkg-deb -f "$deb" Recommends | tr ',' '\n')
description=$(dpkg-deb -f "$deb" Description)
# Without these Qt's dialogs are English and the captions lack their font.
for wanted in qt6-translations-l10n fonts-ipafont-gothic; do
  grep -qx " *$wanted" <<<"$recommends" ||
    { echo "the package does not recommend $wanted" >&2; exit 1; }
done
# The description names what the program reads.
for format in BMP TIFF PNG JPEG PBM PDF grey colour; do
  grep -qw "$format" <<<"$description" ||
    { echo "the package description does not mention $format" >&2; exit 1; }
done

work=$(mktemp -d)
installed=0
cleanup() {
  [ $installed -eq 1 ] && $sudo apt-get purge -y -qq velorin-pelkin >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

echo "== desktop-file-validate and appstreamcli validate"
dpkg-deb -x "$deb" "$work/content"
desktop-file-validate "$work"/content/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/content/usr/share/metainfo/*.metainfo.xml
for format in JPEG grey colour; do
  grep -qw "$format" "$work"/content/usr/share/metainfo/*.metainfo.xml ||
    { echo "the metainfo does not mention $format" >&2; exit 1; }
done

echo "== apt-get install"
installed=1
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$deb" >/dev/null
for f in /usr/bin/vpconvert /usr/bin/velorin-pelkin /usr/share/velorin-pelkin/DXFHED.TXT \
         /usr/share/man/man1/vpconvert.1.gz /usr/share/icons/hicolor/48x48/apps/velorin-pelkin.png; do
  [ -f "$f" ] || { echo "missing after install: $f" >&2; exit 1; }
done
[ "$(/usr/bin/vpconvert --version)" = "vpconvert $version" ]
[ "$(/usr/bin/velorin-pelkin --version)" = "velorin-pelkin $version" ]

echo "== the installed vpconvert converts a sample with the installed header template"
"$build/bench/make_sample_drawing" "$work/sample.bmp" >/dev/null
# A home without a template of its own, so that the installed one is used.
mkdir -p "$work/home"
(cd "$work" && env -u XDG_DATA_HOME HOME="$work/home" /usr/bin/vpconvert sample.bmp -o sample.dxf --rate 0.254 --quiet)
header=/usr/share/velorin-pelkin/DXFHED.TXT
cmp -n "$(stat -c %s "$header")" "$header" "$work/sample.dxf"
lines=$(grep -c $'^LINE\r$' "$work/sample.dxf")
[ "$lines" -gt 100 ] || { echo "only $lines lines in the DXF file" >&2; exit 1; }
tail -c 23 "$work/sample.dxf" | cmp - <(printf '  0\r\nENDSEC\r\n  0\r\nEOF\r\n')
echo "sample.dxf: the installed header template, then $lines LINE entities"

echo "== apt-get purge"
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq velorin-pelkin >/dev/null
installed=0
if dpkg -s velorin-pelkin >/dev/null 2>&1; then echo "the package is still installed" >&2; exit 1; fi
for f in /usr/bin/vpconvert /usr/bin/velorin-pelkin /usr/share/velorin-pelkin /usr/share/man/man1/vpconvert.1.gz; do
  [ ! -e "$f" ] || { echo "left behind after removal: $f" >&2; exit 1; }
done
echo "package test passed: built, validated, installed, used and removed"
