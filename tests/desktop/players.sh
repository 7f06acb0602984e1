#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The player and converter recipes of docs/desktop-and-players.md, run as
# written against a `make install` of the build tree, each output held
# against `surround-host upmix` of the same sound:
#   FFmpeg's lv2 filter  every sample equal, from the first to the last;
#   mpv                  every sample equal, 2688 samples (the latency) later;
#   AC3 and E-AC3        a 5.1 stream beside the untouched video stream, each
#                        channel within the codec's error of the upmix's.
# mpv plays into a file (its pcm output, set in its own configuration
# folder), so no sound card is needed.
#   tests/desktop/players.sh BUILD-TREE SOURCE-TREE COMPARE-TOOL
# One line per check, "players: N passed, M failed" last; exits 77 (skipped)
# when a player is not installed.
set -uo pipefail
build_tree=$(realpath "$1")
source_tree=$(realpath "$2")
compare=$(realpath "$3")
source "$source_tree/tests/desktop/recipes.sh"

skip_unless ffmpeg ffprobe mpv
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
check "make install into a prefix" install_into "$prefix"
((failed == 0)) || report_and_exit players
check "every recipe of the document is run by a test" recipes_are_all_tested
check "the README quotes the recipes word for word" readme_quotes_the_recipes
export PATH=$prefix/bin:$PATH LV2_PATH=$prefix/lib/lv2
cd "$scratch" || exit 1

make_song song.wav
surround-host -q upmix song.wav upmix-defaults.wav
# The film: a small video stream and the song, sample for sample, as its
# soundtrack.
ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc=size=160x120:rate=25:duration=4 \
  -i song.wav -c:v mpeg4 -c:a pcm_f32le movie.mkv

layout_is_5_1() {  # FILE STREAM: six channels in FFmpeg's 5.1 or 5.1(side)
  local layout
  layout=$(ffprobe -v error -select_streams "$2" -show_entries stream=channels,channel_layout \
           -of default=nw=1:nk=1 "$1" | paste -sd,)
  [[ $layout == "6,5.1" || $layout == "6,5.1(side)" ]] || { echo "$1: $layout"; return 1; }
}

# --- FFmpeg's lv2 filter ------------------------------------------------------
ffmpeg_lv2() {
  run_recipe ffmpeg-lv2 > ffmpeg.log 2>&1 || { cat ffmpeg.log; return 1; }
  surround-host -q upmix song.wav upmix-arctan.wav --method arctan --gain -3 &&
    layout_is_5_1 song-5.1.wav a:0 &&
    "$compare" song-5.1.wav upmix-arctan.wav --frames "$song_frames"
}
check "FFmpeg's lv2 filter gives surround-host's samples, none cut" ffmpeg_lv2

# --- mpv ----------------------------------------------------------------------
mpv_plays() {
  mkdir -p mpv-config
  printf '%s\n' ao=pcm ao-pcm-file="$scratch/mpv-out.wav" vo=null audio-format=float \
    really-quiet=yes > mpv-config/mpv.conf
  MPV_HOME=$scratch/mpv-config run_recipe mpv > mpv.log 2>&1 || { cat mpv.log; return 1; }
  layout_is_5_1 mpv-out.wav a:0 &&
    "$compare" mpv-out.wav upmix-defaults.wav --offset 2688 --frames "$compared_frames"
}
check "mpv with the lavfi lv2 filter plays surround-host's samples, the latency later" mpv_plays

# --- AC3 and E-AC3 ------------------------------------------------------------

video_copied() {  # OUTPUT: the same video packets as movie.mkv
  local before after
  before=$(ffmpeg -nostdin -v error -i movie.mkv -map 0:v -c copy -f md5 -)
  after=$(ffmpeg -nostdin -v error -i "$1" -map 0:v -c copy -f md5 -)
  [[ $before == "$after" ]] || { echo "video stream changed: $before / $after"; return 1; }
}

# FILE CODEC DELAY: the upmix's channels in the codec, DELAY samples later
# (the encoders' own delay, which MP4 records for players to skip and
# Matroska and a bare AC3 file do not).
codec_close_to_upmix() {
  local codec
  codec=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name \
          -of default=nw=1:nk=1 "$1")
  [[ $codec == "$2" ]] || { echo "$1: audio is $codec"; return 1; }
  layout_is_5_1 "$1" a:0 &&
    ffmpeg -nostdin -v error -i "$1" -map 0:a:0 -c:a pcm_f32le "$1.wav" &&
    "$compare" "$1.wav" upmix-defaults.wav --offset "$3" --frames "$compared_frames" --within 10
}

soundtrack() {  # RECIPE OUTPUT CODEC DELAY
  run_recipe "$1" > "$1.log" 2>&1 || { cat "$1.log"; return 1; }
  video_copied "$2" && codec_close_to_upmix "$2" "$3" "$4"
}
check "a video's soundtrack as AC3 5.1 beside its video" \
  soundtrack video-ac3 movie-5.1.mkv ac3 256
check "a video's soundtrack as E-AC3 5.1 in MP4 beside its video" \
  soundtrack video-eac3 movie-5.1.mp4 eac3 0

ac3_file() {
  run_recipe ac3-file > ac3-file.log 2>&1 || { cat ac3-file.log; return 1; }
  codec_close_to_upmix song-5.1.ac3 ac3 256
}
check "a sound file as an AC3 5.1 file" ac3_file

report_and_exit players
