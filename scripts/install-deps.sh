#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build and the tests need, only when one is
# missing, so that `make` works on a fresh machine and costs nothing after.
#   scripts/install-deps.sh            what `make` and `make test` need
#   scripts/install-deps.sh --demo     only what `make demo` needs
#   scripts/install-deps.sh --release  what `make install` and the .deb need
#   scripts/install-deps.sh --windows  also the Windows cross build and Wine
# Needs Debian 12 (or a compatible release) and apt; installing needs root,
# or sudo for a user who may use it.
set -euo pipefail

# The demo: the library (libsleef-dev gives ArcTan4_6 its vector
# arctangents) and surround-host with the LV2 plug-ins beside it (lv2-dev).
demo_packages=(cmake g++ make pkg-config libsndfile1-dev libfftw3-dev libcli11-dev libsleef-dev
               lv2-dev)
# `make install` and the Debian package: the manual page (help2man) and
# dpkg-dev (the package's dependencies).
release_packages=(help2man dpkg-dev)
# The tests: GoogleTest, Google Benchmark (built by `make`), ffprobe (the
# layouts the tool writes), help2man and dpkg-dev (the manual page and the
# Debian package); espeak-ng speaks the dialogue of the upmix's quality tests,
# ffmpeg is also the yardstick `make quality` prints beside the upmix;
# lilv-utils (lv2ls, lv2info, lv2apply) and sordi (sord_validate) are the LV2
# hosts and checker of the plug-ins' tests; time (/usr/bin/time) gives
# `make bench-upmix` each run's peak memory; PipeWire, WirePlumber and D-Bus
# run the desktop test (a private session of its own) and mpv the players'.
test_packages=(googletest libbenchmark-dev ffmpeg help2man dpkg-dev espeak-ng lilv-utils sordi
               time pipewire pipewire-bin wireplumber dbus mpv)
windows_packages=(g++-mingw-w64-i686-posix wine wine32:i386)
# libFuzzer and the sanitizers with clang 14, and llvm-cov for the fuzz figures.
fuzz_packages=(clang libclang-rt-14-dev llvm-14)

want=("${demo_packages[@]}")
case "${1:-}" in
  --demo) ;;
  --release) want+=("${release_packages[@]}") ;;
  --windows) want+=("${test_packages[@]}" "${windows_packages[@]}") ;;
  --fuzz) want+=("${test_packages[@]}" "${fuzz_packages[@]}") ;;
  "") want+=("${test_packages[@]}") ;;
  *) echo "install-deps: unknown option '$1' (--demo, --release, --windows, --fuzz)" >&2; exit 2 ;;
esac

missing=()
for package in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

# Root installs directly; anyone else through sudo, when there is one.
if [[ $(id -u) -eq 0 ]]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  {
    echo "install-deps: these Debian packages are missing: ${missing[*]}"
    echo "install-deps: installing them needs root, and this user is not root and has no sudo."
    echo "install-deps: as root, run:  apt-get install ${missing[*]}"
    echo "install-deps: (or install sudo and give this user the right to use it), then run make again."
  } >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
# apt shows its own progress; sudo would drop an exported variable, so it
# travels on the command line.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
