#!/usr/bin/env bash
# Fails when an include runs against the one-way rule: front ends -> core
# (app/gui -> dialogs; cli/ on its own), and
# within the core: core/ -> export -> cad -> vector -> raster, with scan/ on the
# library-free readers (imageio/, vp_image_readers) and they on raster. The core
# sees no Qt, no front end, no image library and no reader built on one
# (imageio/library/, or image_formats.h, which gathers them).
# Usage: scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

libraries='tiff|tiffio|png|jpeglib|zlib|leptonica/[a-z]*|allheaders'
readers_on_libraries='imageio/library/|imageio/image_formats\.h'
# layer: the folders of ours it must not include from
declare -A forbidden=(
  [raster]="vector export scan core app imageio cli dialogs"
  [imageio]="vector export scan core app cli dialogs"
  [vector]="export scan core app imageio cli dialogs"
  [scan]="vector export core app cli dialogs"
  [cad]="export scan core app imageio cli dialogs"
  [export]="scan core app imageio cli dialogs"
  [core]="app cli dialogs"
)
status=0
for layer in "${!forbidden[@]}"; do
  pattern="#include [<\"](Q[A-Za-z]*[>\"]|Qt[A-Za-z]*/|($libraries)\.h>|$readers_on_libraries"
  for folder in ${forbidden[$layer]}; do pattern+="|$folder/"; done
  pattern+=")"
  # The readers built on libraries, and the table that gathers them, are not core.
  files=$(find "$layer" \( -path imageio/library -prune \) -o -type f \( -name '*.h' -o -name '*.cpp' \) \
            ! -name 'image_formats.*' -print)
  if hits=$(grep -nHE "$pattern" $files); then
    echo "includes against the layering, in $layer/:" >&2
    echo "$hits" >&2
    status=1
  fi
done
# The front ends: dialogs/ serve the desktop program and never reach back into
# it; the converter sees no Qt and nothing of the desktop program.
declare -A front_forbidden=(
  [dialogs]="#include \"(app|cli)/"
  [cli]="#include [<\"](Q[A-Za-z]*[>\"]|Qt[A-Za-z]*/|app/|dialogs/)"
)
for front in "${!front_forbidden[@]}"; do
  if hits=$(grep -rnE "${front_forbidden[$front]}" "$front" --include='*.h' --include='*.cpp'); then
    echo "includes against the layering, in $front/:" >&2
    echo "$hits" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "layers: every include points the one way"
exit $status
