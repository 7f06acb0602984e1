#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the built library from the outside, as a host's loader sees it:
# exactly the four exports under their plain names and, for the Windows DLL,
# PE32 for i386 importing nothing but Windows system DLLs.
#   scripts/check-exports.sh so  LIBRARY.so
#   scripts/check-exports.sh dll LIBRARY.dll [OBJDUMP]
set -euo pipefail

expected="deleteInstance fillBiduleInfo getNumBidules newInstance"
# DLLs every Windows installation has; anything else would have to ship
# beside the plug-in.
system_dlls="kernel32.dll msvcrt.dll ntdll.dll user32.dll advapi32.dll"

kind=$1
library=$2
fail() { echo "check-exports: $library: $*" >&2; exit 1; }

case "$kind" in
so)
  exports=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort | tr '\n' ' ')
  [[ "${exports% }" == "$expected" ]] || fail "exports '${exports% }', expected '$expected'"
  ;;
dll)
  objdump=${3:-i686-w64-mingw32-objdump}
  headers=$("$objdump" -p "$library")
  "$objdump" -f "$library" | grep -q 'file format pei-i386' || fail "not a PE file for i386"
  grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$headers" || fail "not PE32"
  # The names of the export table, in the lines after its header.
  exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {on=0}
                 on {print $NF}' <<<"$headers" | sort | tr '\n' ' ')
  [[ "${exports% }" == "$expected" ]] || fail "exports '${exports% }', expected '$expected'"
  imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
  for dll in $imports; do
    [[ " $system_dlls " == *" $dll "* ]] || fail "imports $dll, which is not a Windows system DLL"
  done
  ;;
*)
  echo "usage: $0 so|dll LIBRARY [OBJDUMP]" >&2
  exit 2
  ;;
esac
