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
# of the longer runs stays. A finding (crash, sanitizer report, in-range
# oracle failure, timeout, leak) is saved in build/fuzz/findings/<name>/ and
# makes the script fail.
#
# A full run writes its figures as the README shows them, in
# build/figures/fuzz.md (`make readme-figures` puts them into README.md). A
# smoke run checks that the README's figures count the source lines of this
# tree, and fails when they were measured on another.
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

# 1234567 -> 1,234,567
thousands() { sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/' -e 'ta' <<<"$1"; }

failed=0
table=()
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
  table+=("| \`$target\` | $(thousands "${runs:-0}") | $(thousands "${edges:-?}") / $(thousands "${features:-?}") | $(thousands "$corpus") |")
done

# Source lines covered: the library (frame and modules) by the two targets
# that drive it, together; the tool's reader by its own target. Each prints
# "covered total".
merge_profiles() {  # name, targets...
  local name=$1; shift
  local raws=()
  for target in "$@"; do raws+=("$build/profiles/${target#fuzz_}"/*.profraw); done
  compgen -G "${raws[0]}" >/dev/null &&
    llvm-profdata-14 merge -sparse "${raws[@]}" -o "$build/profiles/$name.profdata" 2>/dev/null
}
# llvm-cov's table rows end in: lines, missed lines, cover, branches, missed, cover.
covered_lines='{ lines += $(NF-5); missed += $(NF-4) } END { if (lines) print lines - missed, lines }'
library_coverage() {
  merge_profiles library fuzz_interface fuzz_in_range &&
    llvm-cov-14 report "$build/fuzz_interface" -object "$build/fuzz_in_range" \
      -instr-profile="$build/profiles/library.profdata" "$root/frame" "$root/modules" 2>/dev/null |
    awk '/^TOTAL/ '"$covered_lines"
}
reader_coverage() {
  merge_profiles reader fuzz_sound_file &&
    llvm-cov-14 report -show-functions "$build/fuzz_sound_file" \
      -instr-profile="$build/profiles/reader.profdata" "$root/host/soundfiles/SoundFile.cpp" 2>/dev/null |
    awk '/SoundFileReader/ '"$covered_lines"
}
# What share of T lines C is, in per cent.
share() { awk -v c="$1" -v t="$2" 'BEGIN { printf "%.1f", 100 * c / t }'; }

command -v llvm-cov-14 >/dev/null || { echo "fuzz: no llvm-cov-14, so no line coverage" >&2; exit $failed; }
read -r library_covered library_lines < <(library_coverage) || true
read -r reader_covered reader_lines < <(reader_coverage) || true
[[ -n ${library_lines:-} && -n ${reader_lines:-} ]] ||
  { echo "fuzz: no coverage profiles to count lines from" >&2; exit 1; }
echo "fuzz: frame/ and modules/: $library_covered of $library_lines lines covered ($(share "$library_covered" "$library_lines")%)"
echo "fuzz: SoundFileReader: $reader_covered of $reader_lines lines covered ($(share "$reader_covered" "$reader_lines")%)"

readme=$root/README.md
if [[ $mode == smoke ]]; then
  # The README's line totals (its "of N") against this tree's.
  block=$(sed -n '/^<!-- fuzz figures: begin/,/^<!-- fuzz figures: end/p' "$readme" | tr '\n' ' ')
  shown_library=$(sed -n 's/.* of \([0-9,]*\) source lines of `frame\/` and `modules\/`.*/\1/p' <<<"$block" | tr -d ,)
  shown_reader=$(sed -n 's/.* of the \([0-9,]*\) lines of `SoundFileReader`.*/\1/p' <<<"$block" | tr -d ,)
  if [[ $shown_library != "$library_lines" || $shown_reader != "$reader_lines" ]]; then
    echo "fuzz: README.md's fuzz figures count ${shown_library:-?} lines of frame/ and modules/" \
         "and ${shown_reader:-?} of SoundFileReader; this tree has $library_lines and" \
         "$reader_lines: make fuzz, then make readme-figures" >&2
    failed=1
  fi
else
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
  outcome="found nothing"
  ((failed)) && outcome="had findings (build/fuzz/findings)"
  mkdir -p "$root/build/figures"
  {
    echo "The last run here (\`fuzz/run-fuzzers.sh\`: $seconds s per target, one job each, on"
    echo "$(nproc) cores of ${cpu:-an unknown processor}) $outcome:"
    echo
    echo "| target | executions | libFuzzer edges / features | corpus |"
    echo "|---|---|---|---|"
    printf '%s\n' "${table[@]}"
    echo
    echo "The two library targets together reach $(thousands "$library_covered") of"
    echo "$(thousands "$library_lines") source lines of \`frame/\` and \`modules/\` ($(share "$library_covered" "$library_lines")%);"
    echo "the sound-file target reaches $(thousands "$reader_covered") of the $(thousands "$reader_lines") lines of"
    echo "\`SoundFileReader\` ($(share "$reader_covered" "$reader_lines")%)."
  } >"$root/build/figures/fuzz.md"
  echo "fuzz: the README's figures of this run are in build/figures/fuzz.md (make readme-figures)"
fi

exit $failed
