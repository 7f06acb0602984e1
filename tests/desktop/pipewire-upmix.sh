#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The upmix as the desktop's sound, end to end: the PipeWire recipes of
# docs/desktop-and-players.md run as written against a `make install` of the
# build tree, in a desktop of this test's own (a private D-Bus, PipeWire and
# WirePlumber, its own home and runtime folders; no system service is
# touched). A 6-channel null sink stands for the 5.1 device.
#   1. the enable recipe links the installed file into ~/.config and
#      restarts PipeWire (systemctl here is a stand-in that restarts this
#      test's PipeWire and WirePlumber): the upmix sink appears;
#   2. the default-sink recipe makes it the default: pw-play, told nothing,
#      plays a stereo file into it;
#   3. one 8-channel recording, linked to the upmix sink's monitor (what
#      went in) and the device's (what came out), holds both in the same
#      PipeWire cycles: what went in is the file, what came out is
#      `surround-host upmix` of it sample for sample, and the time between
#      them is the plug-in's latency plus one PipeWire cycle;
#   4. the remove recipe takes the sink away again.
#   tests/desktop/pipewire-upmix.sh BUILD-TREE SOURCE-TREE COMPARE-TOOL
# One line per check, "pipewire: N passed, M failed" last; exits 77
# (skipped) when PipeWire, WirePlumber or D-Bus is not installed.
set -uo pipefail
build_tree=$(realpath "$1")
source_tree=$(realpath "$2")
compare=$(realpath "$3")
source "$source_tree/tests/desktop/recipes.sh"

skip_unless pipewire wireplumber pw-cli pw-link pw-play pw-record pw-metadata dbus-daemon ffmpeg \
  lv2info
scratch=$(mktemp -d)
prefix=$scratch/prefix
sink=quorveil_upmix_5_1
device=quorveil_test_device
cycle=1024  # PipeWire's quantum, fixed for the test (a desktop's usual)

# --- a desktop of the test's own ----------------------------------------------
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/run
export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$scratch/no-system-bus
unset XDG_CONFIG_HOME XDG_STATE_HOME XDG_DATA_HOME PIPEWIRE_REMOTE PULSE_SERVER JACK_DEFAULT_SERVER
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$scratch/bin" "$scratch/pids"
chmod 700 "$XDG_RUNTIME_DIR"

# The stand-in for systemd's user manager: `systemctl --user
# start|stop|restart pipewire` starts and stops this test's PipeWire, and
# WirePlumber with it, as their units do; it returns once they answer.
cat > "$scratch/bin/systemctl" << EOF
#!/usr/bin/env bash
set -u
pids=$scratch/pids
stop() {
  local name pid
  for name in wireplumber pipewire; do
    [[ -f \$pids/\$name ]] || continue
    pid=\$(cat "\$pids/\$name")
    kill "\$pid" 2> /dev/null
    for _ in \$(seq 50); do kill -0 "\$pid" 2> /dev/null || break; sleep 0.1; done
    rm -f "\$pids/\$name"
  done
}
until_true() {  # COMMAND: up to 10 s
  for _ in \$(seq 100); do "\$@" > /dev/null 2>&1 && return 0; sleep 0.1; done
  echo "systemctl stand-in: no answer from: \$*" >&2
  return 1
}
wireplumber_ready() { pw-cli ls Metadata | grep -q 'metadata.name = "default"'; }
start() {
  pipewire >> $scratch/pipewire.log 2>&1 < /dev/null &
  echo \$! > "\$pids/pipewire"
  until_true pw-cli info 0 || return 1
  wireplumber >> $scratch/wireplumber.log 2>&1 < /dev/null &
  echo \$! > "\$pids/wireplumber"
  until_true wireplumber_ready
}
case "\$*" in
  "--user start pipewire") start ;;
  "--user stop pipewire") stop ;;
  "--user restart pipewire") stop; start ;;
  *) echo "systemctl stand-in: not for '\$*'" >&2; exit 1 ;;
esac
EOF
chmod +x "$scratch/bin/systemctl"
export PATH=$scratch/bin:$prefix/bin:$PATH LV2_PATH=$prefix/lib/lv2

# Checks run in subshells: what must be stopped at the end leaves its
# process id in $scratch/pids.
cleanup() {
  [[ ! -f $scratch/pids/recorder ]] || kill "$(cat "$scratch/pids/recorder")" 2> /dev/null
  systemctl --user stop pipewire
  [[ ! -f $scratch/pids/dbus ]] || kill "$(cat "$scratch/pids/dbus")" 2> /dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

show_logs() {
  echo "--- pipewire.log"; tail -n 15 "$scratch/pipewire.log" 2> /dev/null
  echo "--- wireplumber.log"; tail -n 15 "$scratch/wireplumber.log" 2> /dev/null
  echo "--- links"; pw-link -l 2> /dev/null
}

node_exists() { pw-cli ls Node | grep -q "node.name = \"$1\""; }
wait_for() {  # COMMAND...: true within 10 s
  for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
  return 1
}

start_desktop() {
  dbus-daemon --session --fork --print-pid --address="$DBUS_SESSION_BUS_ADDRESS" \
    > "$scratch/pids/dbus" && systemctl --user start pipewire || { show_logs; return 1; }
}
check "make install into a prefix" install_into "$prefix"
check "a private D-Bus, PipeWire and WirePlumber start" start_desktop
((failed == 0)) || report_and_exit pipewire
cd "$scratch" || exit 1

# --- the recipes ----------------------------------------------------------------
# The recipes name the files of a `make install` under /usr/local.
to_prefix="s|/usr/local/|$prefix/|g"

enable_sink() {
  run_recipe pipewire-enable "$to_prefix" &&
    test -L "$HOME/.config/pipewire/pipewire.conf.d/quorveil-upmix-5.1.conf" &&
    wait_for node_exists "$sink" || { show_logs; return 1; }
}
check "the enable recipe: PipeWire offers the upmix sink after its restart" enable_sink

add_device() {
  pw-cli create-node adapter "{ factory.name=support.null-audio-sink node.name=$device \
    media.class=Audio/Sink audio.channels=6 audio.position=[FL FR FC LFE RL RR] \
    object.linger=true }" > /dev/null && wait_for node_exists "$device"
}
default_is_upmix() { pw-metadata 0 default.audio.sink | grep -q "\"$sink\""; }
make_default() {
  add_device && run_recipe pipewire-default && wait_for default_is_upmix ||
    { pw-metadata 0; show_logs; return 1; }
}
check "the default-sink recipe: the upmix is the default output" make_default

# --- one stereo file through the desktop's default output ------------------------
make_song song.wav
surround-host -q upmix song.wav upmix.wav
plugin_latency=$(lv2info https://quorveil.audio/lv2/upmix |
                 awk '/Symbol: *latency$/ { found = 1 } found && /Default:/ { print int($2); exit }')

recorder_linked() { [[ $(pw-link -l | grep -c '|-> quorveil_test_recorder:') -eq 8 ]]; }
play_and_record() {
  pw-metadata -n settings 0 clock.force-quantum "$cycle" > /dev/null
  pw-record -P '{ node.name=quorveil_test_recorder node.autoconnect=false }' --channels 8 \
    --channel-map AUX0,AUX1,AUX2,AUX3,AUX4,AUX5,AUX6,AUX7 --format f32 --rate 48000 \
    recording.wav > recorder.log 2>&1 < /dev/null &
  local recorder_pid=$!
  echo "$recorder_pid" > "$scratch/pids/recorder"
  wait_for node_exists quorveil_test_recorder || { cat recorder.log; return 1; }
  local sources=("$sink:monitor_FL" "$sink:monitor_FR" "$device:monitor_FL" "$device:monitor_FR"
                 "$device:monitor_FC" "$device:monitor_LFE" "$device:monitor_RL" "$device:monitor_RR")
  local c
  for c in "${!sources[@]}"; do
    wait_for pw-link "${sources[$c]}" "quorveil_test_recorder:input_AUX$c" 2> /dev/null ||
      { echo "cannot link ${sources[$c]}"; return 1; }
  done
  wait_for recorder_linked && pw-play song.wav < /dev/null || return 1
  sleep 0.5
  kill -INT "$recorder_pid"
  wait "$recorder_pid"
  rm "$scratch/pids/recorder"
}

offset_of() {  # COMPARE-ARGUMENTS...: the offset found, or nothing
  "$compare" "$@" --find-offset --frames "$compared_frames" | tee -a comparisons.log |
    sed -n 's/.* at offset \([0-9]*\): 0 differ$/\1/p'
}

# What entered the sink must be the file, and what left for the device
# surround-host's upmix of it, exactly. On a machine too busy for a
# real-time cycle PipeWire plays a cycle of silence instead (an underrun),
# on the way in or in the recorder's copy of the device, and the file is
# played again, up to three times: a plug-in that computed anything else
# would differ every time.
sound_through_pipewire() {
  local attempt entered left
  for attempt in 1 2 3; do
    rm -f comparisons.log
    play_and_record || { show_logs; return 1; }
    entered=$(offset_of recording.wav song.wav --channels 0-1)
    left=$(offset_of recording.wav upmix.wav --channels 2-7)
    [[ -z $entered || -z $left ]] || break
    echo "attempt $attempt: the file did not pass whole (an underrun); again"
  done
  cat comparisons.log
  if [[ -z $entered || -z $left ]]; then
    [[ -n $left ]] || echo "the device never plays surround-host's upmix of what entered"
    mkdir -p "$build_tree/desktop-failed" && cp recording.wav song.wav upmix.wav "$build_tree/desktop-failed/"
    echo "the sounds are kept in $build_tree/desktop-failed"
    show_logs
    return 1
  fi
  echo "the sound left the device $((left - entered)) samples after it entered the sink:" \
       "the plug-in's latency ($plugin_latency) and one PipeWire cycle ($cycle)"
  [[ $((left - entered)) -eq $((plugin_latency + cycle)) ]]
}
check "pw-play into the default output: the device plays surround-host's upmix, the latency later" \
  sound_through_pipewire

# --- and away again -------------------------------------------------------------
sink_gone() { ! node_exists "$sink"; }
disable_sink() {
  run_recipe pipewire-disable && wait_for sink_gone || { show_logs; return 1; }
}
check "the remove recipe: the upmix sink is gone after the restart" disable_sink

report_and_exit pipewire
