#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source file says which licence covers it in one of its first three
# lines: "SPDX-License-Identifier: MIT" or "...: GPL-3.0-or-later" (see
# LICENSE). Lists the files that do not, and fails when there are any.
#   scripts/check-spdx.sh [SOURCE-TREE]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files --cached --others --exclude-standard)
else
  files=$(find . -path ./build -prune -o -type f -print | sed 's|^\./||')
fi

missing=0
checked=0
while IFS= read -r file; do
  case "$file" in
    *.cpp|*.h|*.cmake|*.sh|*.map|CMakeLists.txt|*/CMakeLists.txt|Makefile|.ci/run) ;;
    *) continue ;;
  esac
  [[ -f "$file" ]] || continue
  checked=$((checked + 1))
  if ! head -n 3 "$file" | grep -Eq 'SPDX-License-Identifier: (MIT|GPL-3\.0-or-later)( \*/)?$'; then
    echo "no SPDX-License-Identifier line: $file" >&2
    missing=$((missing + 1))
  fi
done <<< "$files"

if (( missing > 0 )); then
  echo "check-spdx: $missing of $checked source files name no licence" >&2
  exit 1
fi
echo "check-spdx: $checked source files, each names its licence"
