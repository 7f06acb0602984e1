#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make readme-figures: what the last measuring runs wrote into build/figures/
# goes where the README shows it. Each figure block of README.md stands
# between "<!-- NAME: begin ... -->" and "<!-- NAME: end -->" and is
# replaced whole by its file; blocks whose file no run has written stay as
# they are.
#
#   build/figures/fuzz.md           make fuzz           <!-- fuzz figures -->
#   build/figures/upmix-speed.md    make bench-upmix    <!-- upmix speed -->
#   build/figures/upmix-ring.svg    make quality        docs/upmix-ring.svg
#   build/figures/upmix-ring-layouts.svg                docs/upmix-ring-layouts.svg
#
#   scripts/readme-figures.sh [FIGURES_DIR]    (default build/figures)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
figures=${1:-$root/build/figures}
readme=$root/README.md
updated=0

# The README's block NAME becomes the lines of FILE.
replace_block() {
  local name=$1 file=$2
  [[ -f $file ]] || return 0
  if ! grep -q "^<!-- $name: begin" "$readme" || ! grep -q "^<!-- $name: end -->" "$readme"; then
    echo "readme-figures: README.md has no block '$name' for $file" >&2
    exit 1
  fi
  awk -v name="$name" -v file="$file" '
    index($0, "<!-- " name ": begin") == 1 { print; while ((getline line < file) > 0) print line; skip = 1; next }
    index($0, "<!-- " name ": end -->") == 1 { skip = 0 }
    !skip { print }' "$readme" >"$readme.new"
  mv "$readme.new" "$readme"
  echo "readme-figures: README.md <- ${file#"$root"/}"
  updated=1
}

replace_block "fuzz figures" "$figures/fuzz.md"
replace_block "upmix speed" "$figures/upmix-speed.md"
for picture in upmix-ring.svg upmix-ring-layouts.svg; do
  if [[ -f $figures/$picture ]]; then
    cp "$figures/$picture" "$root/docs/$picture"
    echo "readme-figures: docs/$picture <- ${figures#"$root"/}/$picture"
    updated=1
  fi
done
if ((!updated)); then
  echo "readme-figures: nothing measured yet in ${figures#"$root"/}: make fuzz, make bench-upmix" \
       "or make quality first" >&2
  exit 1
fi
