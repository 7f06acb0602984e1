# SPDX-License-Identifier: GPL-3.0-or-later
# What the desktop tests share (sourced, not run): the recipes of
# docs/desktop-and-players.md as a user copies them, an installed tree to run
# them against, and the one-line-per-check report of the packaging tests.
#
# A recipe is the ```sh block that follows a "<!-- recipe: NAME -->" line.

# Every recipe of the document, and the test that runs it. A recipe added to
# the document without a test here fails recipes_are_all_tested.
declare -A recipe_test=(
  [pipewire-enable]=pipewire-upmix.sh [pipewire-default]=pipewire-upmix.sh
  [pipewire-disable]=pipewire-upmix.sh [ffmpeg-lv2]=players.sh [mpv]=players.sh
  [video-ac3]=players.sh [video-eac3]=players.sh [ac3-file]=players.sh
)

recipes_doc=${source_tree:?}/docs/desktop-and-players.md
passed=0
failed=0
skipped=77

# recipe NAME [FILE]: the block's text, as a user would paste it.
recipe() {
  awk -v name="$1" '
    $0 == "<!-- recipe: " name " -->" { found = 1; next }
    found && /^```sh$/ { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }
  ' "${2:-$recipes_doc}"
}

# run_recipe NAME [SED-EXPRESSION]: runs the block in the current folder as
# bash runs a pasted script, stopping at the first failing command (stdin
# closed, as in a terminal nobody types into). The expression adapts paths
# of a real install to this test's prefix.
run_recipe() {
  local text
  text=$(recipe "$1")
  [[ -n $text ]] || { echo "no recipe '$1' in $recipes_doc"; return 1; }
  [[ -z ${2:-} ]] || text=$(sed -e "$2" <<< "$text")
  bash -e -o pipefail -c "$text" < /dev/null
}

# Every ```sh block of the document is a recipe, and every recipe has a test.
recipes_are_all_tested() {
  local blocks marked name
  blocks=$(grep -c '^```sh$' "$recipes_doc")
  marked=$(grep -c '^<!-- recipe: .* -->$' "$recipes_doc")
  [[ $blocks -eq $marked ]] || { echo "$blocks sh blocks, $marked recipes"; return 1; }
  for name in $(sed -n 's/^<!-- recipe: \(.*\) -->$/\1/p' "$recipes_doc"); do
    [[ -n ${recipe_test[$name]:-} ]] || { echo "recipe '$name' is run by no test"; return 1; }
  done
}

# The README quotes some recipes with the same marks: word for word.
readme_quotes_the_recipes() {
  local readme=$source_tree/README.md name
  for name in $(sed -n 's/^<!-- recipe: \(.*\) -->$/\1/p' "$readme"); do
    [[ $(recipe "$name" "$readme") == "$(recipe "$name")" ]] ||
      { echo "README.md's '$name' differs from $recipes_doc's"; return 1; }
  done
}

# check WHAT COMMAND...: one line per check, the command's output when it fails.
check() {
  local what=$1 output
  shift
  if output=$("$@" 2>&1); then
    echo "ok      $what"
    [[ -z $output ]] || echo "$output" | sed 's/^/        /'
    passed=$((passed + 1))
  else
    echo "FAILED  $what"
    echo "$output" | sed 's/^/        /' | tail -n 60
    failed=$((failed + 1))
  fi
}

# skip_unless TOOL... : exits with ctest's skip status, saying which tool is
# missing and who installs it, when one is not on PATH.
skip_unless() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" > /dev/null 2>&1; then
      echo "SKIPPED: '$tool' is not installed; scripts/install-deps.sh (make test) installs it"
      exit "$skipped"
    fi
  done
}

# install_into PREFIX: `make install` of the build tree into PREFIX, so the
# recipes run against installed files, as a user's do.
install_into() {
  cmake --install "${build_tree:?}" --prefix "$1" > "$1.log" 2>&1 || {
    cat "$1.log"
    return 1
  }
}

# A stereo test sound: 3 s of pink noise and a 330 Hz tone, the tone mostly
# right and the noise mostly left, then 1 s of silence (players may cut or
# fade their last buffer; comparisons stop inside the silence).
make_song() {
  ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "anoisesrc=c=pink:a=0.25:d=3:seed=1" \
    -f lavfi -i "sine=f=330:d=3" \
    -filter_complex "[0][1]amerge=inputs=2,pan=stereo|c0=c0+0.5*c1|c1=c1+0.5*c0,apad=pad_dur=1" \
    -ar 48000 -c:a pcm_f32le "$1"
}
song_frames=192000
compared_frames=150000  # the sound, its tail and the latency, before the end

report_and_exit() {
  echo "$1: $passed passed, $failed failed"
  ((failed == 0))
  exit
}
