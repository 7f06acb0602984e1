#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so that `make` works on a fresh machine and costs nothing after.
set -euo pipefail

native_packages=(cmake g++ make pkg-config googletest libbenchmark-dev libsndfile1-dev libfftw3-dev
                 libcli11-dev)
windows_packages=(g++-mingw-w64-i686-posix wine wine32:i386)
# libFuzzer and the sanitizers with clang 14, and llvm-cov for the fuzz figures.
fuzz_packages=(clang libclang-rt-14-dev llvm-14)

want=("${native_packages[@]}")
case "${1:-}" in
  --windows) want+=("${windows_packages[@]}") ;;
  --fuzz) want+=("${fuzz_packages[@]}") ;;
esac

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
