#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every libFuzzer target of build/fuzz, one after another, one job each,
# and prints what each did: executions, coverage (libFuzzer's edges and
# features, and the source lines of the library it reached), findings.
#
#   fuzz/run-fuzzers.sh --total SECONDS    the time shared evenly by the targets
#   fuzz/run-fuzzers.sh --each SECONDS [--smoke]
#
# Each target starts from its seeds in fuzz/corpus/<name> and keeps what it
# learns in build/fuzz/corpus/<name>, so runs build on one another. --smoke
# starts from the seeds alone, in build/fuzz/smoke-corpus so that the corpus
# of the longer runs stays, and skips the coverage report. A finding
# (crash, sanitizer report, in-range oracle failure, timeout, leak) is saved
# in build/fuzz/findings/<name>/ and makes the script fail.
set -uo pipefail

targets=(fuzz_interface fuzz_in_range fuzz_sound_file fuzz_sound_writer fuzz_upmix_engine
         fuzz_lv2_plugins)
seconds="" mode=full
while [[ $# -gt 0 ]]; do
  case $1 in
    --total) seconds=$(( $2 / ${#targets[@]} )); shift 2 ;;
    --each) seconds=$2; shift 2 ;;
    --smoke) mode=smoke; shift ;;
    *) echo "usage: $0 --total SECONDS | --each SECONDS [--smoke]" >&2; exit 2 ;;
  esac
done
[[ -n $seconds && $seconds -gt 0 ]] || { echo "usage: $0 --total SECONDS | --each SECONDS [--smoke]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  program=$build/$target
  [[ -x $program ]] || { echo "fuzz: $program is missing (make fuzz builds it)" >&2; exit 2; }
  seeds=$root/fuzz/corpus/$name
  work=$build/corpus/$name
  [[ $mode == smoke ]] && work=$build/smoke-corpus/$name
  findings=$build/findings/$name
  log=$build/logs/$name.log
  profiles=$build/profiles/$name
  [[ $mode == smoke ]] && rm -rf "$work"
  rm -rf "$findings"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  rm -rf "$profiles" && mkdir -p "$profiles"

  LLVM_PROFILE_FILE="$profiles/%p.profraw" "$program" "$work" "$seeds" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4096 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1
  status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  edges=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(find "$work" -type f | wc -l)
  line="$name: ${runs:-0} executions in ${seconds} s, ${edges:-?} edges, ${features:-?} features, corpus $corpus"

  if [[ $status -ne 0 ]] || compgen -G "$findings/*" >/dev/null; then
    failed=1
    line+=", FINDING (exit $status): see $log and $findings"
    grep -E 'ERROR|SUMMARY|oracle|parameter|settings' "$log" | head -20 >&2
  else
    line+=", no findings"
  fi
  echo "fuzz: $line"
done

# Source lines covered: the library (frame and modules) by the two targets
# that drive it, together; the tool's reader by its own target.
merge_profiles() {  # name, targets...
  local name=$1; shift
  local raws=()
  for target in "$@"; do raws+=("$build/profiles/${target#fuzz_}"/*.profraw); done
  compgen -G "${raws[0]}" >/dev/null &&
    llvm-profdata-14 merge -sparse "${raws[@]}" -o "$build/profiles/$name.profdata" 2>/dev/null
}
# llvm-cov's table rows end in: lines, missed lines, cover, branches, missed, cover.
covered_lines='{ lines += $(NF-5); missed += $(NF-4) }
  END { if (lines) printf "fuzz: %s: %d of %d lines covered (%.1f%%)\n", label, lines - missed, lines, 100 * (lines - missed) / lines }'
if [[ $mode != smoke ]] && command -v llvm-cov-14 >/dev/null; then
  if merge_profiles library fuzz_interface fuzz_in_range; then
    llvm-cov-14 report "$build/fuzz_interface" -object "$build/fuzz_in_range" \
      -instr-profile="$build/profiles/library.profdata" "$root/frame" "$root/modules" 2>/dev/null |
      awk -v label="frame/ and modules/" '/^TOTAL/ '"$covered_lines"
  fi
  if merge_profiles reader fuzz_sound_file; then
    llvm-cov-14 report -show-functions "$build/fuzz_sound_file" \
      -instr-profile="$build/profiles/reader.profdata" "$root/host/soundfiles/SoundFile.cpp" 2>/dev/null |
      awk -v label="SoundFileReader" '/SoundFileReader/ '"$covered_lines"
  fi
fi

exit $failed
