#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The one total `make test` ends with, over every suite it ran:
#   scripts/test-total.sh RESULTS-FOLDER SUITE...
# A suite leaves RESULTS-FOLDER/SUITE.xml (CTest's JUnit report) or
# RESULTS-FOLDER/SUITE.count ("PASSED FAILED"); a suite that left neither
# (its build failed) counts as one failure. Prints a line per suite, then
# "N passed, M failed"; fails when M > 0.
set -euo pipefail
results=$1
shift
passed=0
failed=0
for suite in "$@"; do
  if [[ -f "$results/$suite.xml" ]]; then
    # <testsuite ... tests="N" failures="F" disabled="D" skipped="S" ...>
    # CTest writes the attributes one to a line.
    line=$(tr '\n\t' '  ' < "$results/$suite.xml" | grep -o '<testsuite [^>]*>' | head -n 1)
    field() { echo "$line" | grep -o " $1=\"[0-9]*\"" | grep -o '[0-9]*' || echo 0; }
    tests=$(field tests)
    fails=$(field failures)
    skipped=$(( $(field skipped) + $(field disabled) ))
    p=$((tests - fails - skipped))
    f=$fails
  elif [[ -f "$results/$suite.count" ]]; then
    read -r p f < "$results/$suite.count"
  else
    echo "$suite: no results (it did not build or did not run)"
    p=0
    f=1
  fi
  echo "$suite: $p passed, $f failed"
  passed=$((passed + p))
  failed=$((failed + f))
done
echo "$passed passed, $failed failed"
(( failed == 0 ))
