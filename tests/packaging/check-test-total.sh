#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/test-total.sh over results as the suites leave them: CTest's JUnit
# reports (attributes one to a line), counts, and a suite that left nothing.
#   tests/packaging/check-test-total.sh SOURCE-TREE
set -uo pipefail
total=$(realpath "$1")/scripts/test-total.sh
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
printf '<?xml version="1.0"?>\n<testsuite name="(empty)"\n\ttests="10"\n\tfailures="2"\n\tdisabled="0"\n\tskipped="1"\n\t>\n</testsuite>\n' \
  > "$results/native.xml"
echo "15 0" > "$results/packaging.count"

output=$("$total" "$results" native packaging)
status=$?
[[ $status -ne 0 && $(tail -n 1 <<< "$output") == "22 passed, 2 failed" ]] ||
  { echo "FAILED  failures are counted: status $status, $output"; exit 1; }
echo "ok      failures are counted"

output=$("$total" "$results" packaging missing)
status=$?
[[ $status -ne 0 && $(tail -n 1 <<< "$output") == "15 passed, 1 failed" ]] ||
  { echo "FAILED  a suite without results is a failure: $output"; exit 1; }
echo "ok      a suite without results is a failure"

output=$("$total" "$results" packaging)
[[ $? -eq 0 && $(tail -n 1 <<< "$output") == "15 passed, 0 failed" ]] ||
  { echo "FAILED  a clean run passes: $output"; exit 1; }
echo "ok      a clean run passes"
