#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so that `make` works on a fresh machine and costs nothing after.
set -euo pipefail

# espeak-ng speaks the dialogue of the upmix's quality tests and bench;
# ffmpeg is the yardstick `make quality` and `make bench-upmix` print beside
# the upmix; time (/usr/bin/time) gives bench-upmix each run's peak memory.
native_packages=(cmake g++ make pkg-config googletest libbenchmark-dev libsndfile1-dev libfftw3-dev
                 libcli11-dev espeak-ng ffmpeg time)
windows_packages=(g++-mingw-w64-i686-posix wine wine32:i386)

want=("${native_packages[@]}")
if [[ "${1:-}" == "--windows" ]]; then
  want+=("${windows_packages[@]}")
fi

missing=()
for package in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}" >&2
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q >/dev/null
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
