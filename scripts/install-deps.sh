#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so that `make` works on a fresh machine and costs nothing after.
set -euo pipefail

# libsleef-dev gives ArcTan4_6 its vector arctangents; espeak-ng speaks the
# dialogue of the upmix's quality tests and bench; ffmpeg is the yardstick
# `make quality` prints beside the upmix. lv2-dev builds the LV2 plug-ins;
# lilv-utils (lv2ls, lv2info, lv2apply) and sordi (sord_validate) are the LV2
# hosts and checker their tests use.
native_packages=(cmake g++ make pkg-config googletest libbenchmark-dev libsndfile1-dev libfftw3-dev
                 libcli11-dev libsleef-dev espeak-ng ffmpeg lv2-dev lilv-utils sordi)
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
