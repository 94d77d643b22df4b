#!/usr/bin/env bash
# Writes the expected outputs of cases.tsv with a built converter. The files are the
# guard against unintended changes: run this only when a change of output is meant,
# and review the difference before committing it.
# Usage: tests/data/golden/make-expected.sh BUILD_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
converter="$1/cli/vpconvert"
header="$here/../../../data/DXFHED.TXT"
while IFS=$'\t' read -r expected input options; do
  case "$expected" in ''|'#'*) continue ;; esac
  # shellcheck disable=SC2086  # the options are words
  "$converter" "$here/$input" -o "$here/$expected" --dxf-header "$header" --quiet $options >/dev/null
done < "$here/cases.tsv"
