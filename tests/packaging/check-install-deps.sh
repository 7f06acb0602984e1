#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/install-deps.sh in the three situations a first build meets, with
# stand-ins for id, dpkg-query, sudo and apt-get so that nothing is
# installed: root needs no sudo, a user with sudo goes through it, a user
# with neither is told what to do. Only the tools the script uses are on
# its PATH.
#   tests/packaging/check-install-deps.sh SOURCE-TREE
set -uo pipefail
script=$(realpath "$1")/scripts/install-deps.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0

# A PATH of stand-ins: `uid` is what id -u says; with_sudo adds a sudo that
# runs its command. Every call of apt-get, dpkg and sudo is logged.
stand_ins() {
  local uid=$1 with_sudo=$2
  local dir=$scratch/bin-$uid-$with_sudo
  mkdir -p "$dir"
  for tool in grep env cat; do ln -sf "$(command -v "$tool")" "$dir/$tool"; done
  printf '#!/bin/sh\necho %s\n' "$uid" > "$dir/id"
  printf '#!/bin/sh\nexit 1\n' > "$dir/dpkg-query"  # nothing is installed
  printf '#!/bin/sh\necho "apt-get $*" >> %s/log\necho "Reading package lists... Done"\n' \
    "$scratch" > "$dir/apt-get"
  printf '#!/bin/sh\necho "dpkg $*" >> %s/log\n' "$scratch" > "$dir/dpkg"
  if [[ $with_sudo == yes ]]; then
    printf '#!/bin/sh\necho "sudo $1" >> %s/log\nexec "$@"\n' "$scratch" > "$dir/sudo"
  fi
  chmod +x "$dir"/*
  echo "$dir"
}

run() {  # uid with_sudo -> output in $scratch/out, status in $status
  rm -f "$scratch/log"
  env -i PATH="$(stand_ins "$1" "$2")" "$(command -v bash)" "$script" > "$scratch/out" 2>&1
  status=$?
}

expect() {
  if eval "$2"; then
    echo "ok      $1"
    passed=$((passed + 1))
  else
    echo "FAILED  $1"
    sed 's/^/        /' "$scratch/out" "$scratch/log" 2>/dev/null
    failed=$((failed + 1))
  fi
}

run 0 no
expect "as root: installs without sudo" \
  '[[ $status -eq 0 ]] && grep -q "^apt-get install" "$scratch/log" && ! grep -q "^sudo" "$scratch/log"'
expect "as root: apt's progress shows" 'grep -q "Reading package lists" "$scratch/out"'

run 1000 yes
expect "a user with sudo: installs through it" \
  '[[ $status -eq 0 ]] && grep -q "^sudo env" "$scratch/log" && grep -q "^apt-get install" "$scratch/log"'

run 1000 no
expect "a user without sudo: says what it needs and stops" \
  '[[ $status -eq 1 ]] && ! test -e "$scratch/log" &&
   grep -q "installing them needs root, and this user is not root and has no sudo" "$scratch/out" &&
   grep -q "as root, run:  apt-get install cmake" "$scratch/out"'

echo "install-deps: $passed passed, $failed failed"
(( failed == 0 ))
