#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# make bench-upmix: `surround-host upmix`, every method with and without
# ATF4_6, against FFmpeg's `surround` filter at the same window and overlap
# (FFT 2048, overlap 4 = win_size 2048, overlap 0.75), on the same generated
# stereo 44.1 kHz file, both writing 32-bit float 5.1 WAV.
#
# The machines this runs on are shared, so the runs are interleaved (one of
# each command per round, the order turned by one each round) and repeated;
# it prints each command's median wall time with its range, the ratio of the
# medians to FFmpeg's with the range of the ratios round by round, and the
# peak resident memory (max RSS, from /usr/bin/time) of every run, on the long
# file and on a file a fifth as long, so that memory that grows with the
# length shows. The table also goes to build/figures/upmix-speed.md, as the
# README shows it (`make readme-figures` puts it there).
#
#   scripts/bench-upmix.sh [BUILD_DIR]    (default build/native)
#   ROUNDS=5 MINUTES=10 SHORT_MINUTES=2 scripts/bench-upmix.sh
# The upmix runs with its default threads (two on a machine with two cores)
# and, for each method, with --threads 1.
set -euo pipefail

build=${1:-build/native}
rounds=${ROUNDS:-5}
minutes=${MINUTES:-10}
short_minutes=${SHORT_MINUTES:-2}
host="$build/surround-host"
for tool in "$host" "$build/surround-quality"; do
  [[ -x "$tool" ]] || { echo "bench-upmix: $tool is not built (make native)" >&2; exit 2; }
done
command -v ffmpeg >/dev/null || { echo "bench-upmix: ffmpeg is not installed" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "bench-upmix: /usr/bin/time is not installed" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/bench-upmix.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

names=("slice" "slice --atf" "arctan" "arctan --atf" "cc" "cc --atf"
       "slice --threads 1" "arctan --threads 1" "cc --threads 1" "ffmpeg")
ffmpeg_index=9

# Runs command `index` on `input` once; prints "wall_seconds max_rss_kb".
run_one() {
  local index=$1 input=$2 out="$scratch/out.wav"
  local -a command
  if ((index == ffmpeg_index)); then
    command=(ffmpeg -nostdin -loglevel error -y -i "$input"
             -af surround=win_size=2048:overlap=0.75 -c:a pcm_f32le "$out")
  else
    # shellcheck disable=SC2206  # the name holds the method and its flag
    local -a words=(${names[$index]})
    command=("$host" -q upmix "$input" "$out" --method "${words[0]}" "${words[@]:1}"
             --fft-size 2048 --overlap 4)
  fi
  /usr/bin/time -f "%e %M" -o "$scratch/time" "${command[@]}" >/dev/null
  rm -f "$out"
  cat "$scratch/time"
}

# The median, smallest and largest of the numbers on standard input.
summary() {
  sort -g | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}

echo "bench-upmix: writing $minutes- and $short_minutes-minute stereo files" >&2
"$build/surround-quality" --write-stereo "$scratch/long.wav" --minutes "$minutes" >/dev/null
"$build/surround-quality" --write-stereo "$scratch/short.wav" --minutes "$short_minutes" >/dev/null

count=${#names[@]}
declare -A wall rss short_rss
for ((round = 0; round < rounds; ++round)); do
  echo "bench-upmix: round $((round + 1)) of $rounds" >&2
  for ((turn = 0; turn < count; ++turn)); do
    index=$(((turn + round) % count))
    read -r seconds kb < <(run_one "$index" "$scratch/long.wav")
    wall[$index,$round]=$seconds
    rss[$index,$round]=$kb
  done
done
echo "bench-upmix: the $short_minutes-minute file, for memory" >&2
for ((index = 0; index < count; ++index)); do
  read -r _ kb < <(run_one "$index" "$scratch/short.wav")
  short_rss[$index]=$kb
done

echo
echo "$minutes-minute stereo file at 44.1 kHz, FFT 2048 overlap 4, $rounds interleaved rounds" \
     "(load $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"
echo
# The table, one row per command, as the README shows it.
speed_table() {
  echo "| command | wall s, median (range) | FFmpeg ÷ this (range by round) | peak memory MB, $short_minutes min / $minutes min |"
  echo "|---|---|---|---|"
  local ffmpeg_median median low high ratio_low ratio_high peak label ratio
  read -r ffmpeg_median _ _ < <(for ((r = 0; r < rounds; ++r)); do echo "${wall[$ffmpeg_index,$r]}"; done | summary)
  for ((index = 0; index < count; ++index)); do
    read -r median low high < <(for ((r = 0; r < rounds; ++r)); do echo "${wall[$index,$r]}"; done | summary)
    read -r _ ratio_low ratio_high < <(for ((r = 0; r < rounds; ++r)); do
      awk -v f="${wall[$ffmpeg_index,$r]}" -v w="${wall[$index,$r]}" 'BEGIN { print f / w }'
    done | summary)
    read -r _ _ peak < <(for ((r = 0; r < rounds; ++r)); do echo "${rss[$index,$r]}"; done | summary)
    if ((index == ffmpeg_index)); then
      label="FFmpeg \`surround\`" ratio="1.0×"
    else
      label="upmix --method ${names[$index]}"
      ratio=$(awk -v f="$ffmpeg_median" -v m="$median" -v lo="$ratio_low" -v hi="$ratio_high" \
                  'BEGIN { printf "%.1f× (%.1f–%.1f)", f / m, lo, hi }')
    fi
    awk -v label="$label" -v m="$median" -v lo="$low" -v hi="$high" -v ratio="$ratio" \
        -v s="${short_rss[$index]}" -v l="$peak" \
        'BEGIN { printf "| %s | %.2f (%.2f–%.2f) | %s | %.1f / %.1f |\n",
                 label, m, lo, hi, ratio, s / 1024, l / 1024 }'
  done
}
figures=$(cd "$(dirname "$0")/.." && pwd)/build/figures
mkdir -p "$figures"
speed_table | tee "$figures/upmix-speed.md"
