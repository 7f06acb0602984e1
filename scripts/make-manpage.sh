#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The surround-host manual page, made from its own --help and --version (and
# each command's --help) with help2man, gzipped as Debian wants it.
#   scripts/make-manpage.sh PROGRAM OUTPUT.1.gz
set -euo pipefail
program=$1
output=$2
include=$(mktemp)
page=$(mktemp)
trap 'rm -f "$include" "$page"' EXIT

{
  echo "[COMMANDS]"
  for command in list info render upmix; do
    echo ".SS $command"
    echo ".nf"
    "$program" "$command" --help | sed -e 's/\\/\\e/g' -e 's/^\./\\\&./'
    echo ".fi"
  done
  echo "[FILES]"
  echo "surround-host loads the plug-in library installed with it"
  echo "(../lib/quorveil-surround/libquorveil_surround.so from its own folder,"
  echo "or libquorveil_surround.so beside it), unless --library names another."
  echo "[EXIT STATUS]"
  echo "0 when the command succeeded (warnings included), 2 for a mistake in the"
  echo "command or its files (one line on stderr, and no output file), 1 for an"
  echo "internal error; a signal's own status when one ended the run."
} > "$include"

# The version alone: the library path of --version belongs to this machine.
version=$("$program" --version | head -n 1 | cut -d " " -f 2)
help2man --no-info --no-discard-stderr --section 1 --version-string "$version" \
  --name "list, inspect and render Quorveil Surround modules; upmix stereo or mono to surround" \
  --include "$include" --output "$page" "$program"
gzip -9n -c "$page" > "$output"
