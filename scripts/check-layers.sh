#!/usr/bin/env bash
# Fails when an include runs against the one-way rule: front ends -> core, and
# within the core: core/ -> export -> vector -> raster (scan/ beside vector,
# on raster alone). The core sees no Qt and no front end, and no library readers.
# Usage: scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# layer: the folders of ours it must not include from
declare -A forbidden=(
  [raster]="vector export scan core app imageio cli dialogs"
  [vector]="export scan core app imageio cli dialogs"
  [scan]="vector export core app imageio cli dialogs"
  [export]="scan core app imageio cli dialogs"
  [core]="app imageio cli dialogs"
)
status=0
for layer in "${!forbidden[@]}"; do
  pattern="#include [<\"](Q[A-Za-z]*[>\"]|Qt[A-Za-z]*/"
  for folder in ${forbidden[$layer]}; do pattern+="|$folder/"; done
  pattern+=")"
  if hits=$(grep -rnE "$pattern" "$layer" --include='*.h' --include='*.cpp'); then
    echo "includes against the layering, in $layer/:" >&2
    echo "$hits" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "layers: every include points the one way"
exit $status
