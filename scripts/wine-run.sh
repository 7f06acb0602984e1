#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs one 32-bit Windows program under Wine, as the test runner of the
# cross build: headless (no display needed), silent on success, in the Wine
# prefix given as first argument (the build tree keeps its own).
#   scripts/wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The prefix is created on first use; concurrent first runs wait for one
# another instead of racing on the same prefix.
set -euo pipefail

prefix=$(realpath -m "$1")
shift

export WINEPREFIX=$prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko: their install prompts would wait for a user.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [[ ! -f "$prefix/system.reg" ]]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f "$prefix/system.reg" ]]; then
    # The registry files appear only when the prefix's wineserver has shut
    # down: wait for it, so the prefix is complete before any test uses it.
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [[ ! -f "$prefix/system.reg" ]]; then
      echo "wine-run: could not create the Wine prefix $prefix" >&2
      exit 1
    fi
  fi
  flock -u 9
  exec 9>&-
fi

exec wine "$@"
