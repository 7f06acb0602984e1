#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `make install` and the Debian package, checked as a user meets them:
#   0. the release tree they come from built no test and no benchmark;
#   1. cmake --install into a fresh prefix: surround-host finds the library
#      installed with it and lists the modules; the manual page, the LV2
#      bundles and PipeWire's sinks are there;
#   2. the .deb: apt resolves its dependencies on this system, dpkg -i
#      installs it (into a private root that knows this system's installed
#      packages, so nothing here changes), and the installed surround-host
#      lists the modules;
#   3. the zip for Windows: one folder named after the zip holding the
#      32-bit DLL, the install text (with the version) and the licence.
#   tests/packaging/check-install.sh BUILD-TREE PACKAGE.deb PACKAGE.zip [COUNT-FILE]
# Prints one line per check and "N passed, M failed" last (also into
# COUNT-FILE as "N M").
set -uo pipefail
build=$(realpath "$1")
package=$(realpath "$2")
zip=$(realpath "$3")
count_file=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0

check() {
  local what=$1
  shift
  if output=$("$@" 2>&1); then
    echo "ok      $what"
    passed=$((passed + 1))
  else
    echo "FAILED  $what"
    echo "$output" | sed 's/^/        /' | tail -n 20
    failed=$((failed + 1))
  fi
}

lists_the_modules() {
  "$1" list | grep -q "audio.quorveil.ConstantPowerPanner4_6"
}

# --- the release tree -----------------------------------------------------------
nothing_but_the_release() {
  local found
  found=$(find "$build" -maxdepth 1 -type f -executable \
          \( -name 'quorveil_*tests' -o -name 'bench_*' -o -name 'surround-quality' \) -printf '%f ')
  [[ -z $found ]] || { echo "built: $found"; return 1; }
  test -x "$build/surround-host"
}
check "the release tree holds surround-host and no test or benchmark" nothing_but_the_release

# --- make install ---------------------------------------------------------------
prefix=$scratch/prefix
check "cmake --install into a prefix" cmake --install "$build" --prefix "$prefix"
check "installed surround-host lists the modules" lists_the_modules "$prefix/bin/surround-host"
check "installed surround-host renders the demo" bash -c "
  cd '$scratch' && '$prefix/bin/surround-host' -q upmix && test -s upmix-demo.wav"
check "manual page installed" test -s "$prefix/share/man/man1/surround-host.1.gz"
check "manual page names every command" bash -c "
  zcat '$prefix/share/man/man1/surround-host.1.gz' | grep -q '^\.SS upmix' &&
  zcat '$prefix/share/man/man1/surround-host.1.gz' | grep -q -- '--fft-size' &&
  zcat '$prefix/share/man/man1/surround-host.1.gz' | grep -q -- '--layout'"
check "LV2 bundles installed where LV2 hosts look, and lv2ls finds them" bash -c "
  LV2_PATH='$prefix/lib/lv2' lv2ls | grep -qx 'https://quorveil.audio/lv2/upmix' &&
  LV2_PATH='$prefix/lib/lv2' lv2ls | grep -qx 'https://quorveil.audio/lv2/panner'"
check "PipeWire's upmix sinks installed, one per layout (5.1 and 7.1 among them), as the build wrote them" bash -c "
  test -s '$build/pipewire/quorveil-upmix-5.1.conf' && test -s '$build/pipewire/quorveil-upmix-7.1.conf' &&
  diff -r -x .generated '$build/pipewire' '$prefix/share/quorveil-surround/pipewire'"
check "licences installed" test -s "$prefix/share/doc/quorveil-surround/LICENSES/GPL-3.0-or-later.txt"
# Every page the installed README links (docs/, ARCHITECTURE.md) lies beside it.
readme_links_hold() {
  local doc=$1 link missing=""
  for link in $(grep -o '](\([^)]*\))' "$doc/README.md" | sed 's/^](//; s/)$//; s/#.*//' |
                grep -v '://'); do
    [[ -e $doc/$link ]] || missing+=" $link"
  done
  [[ -z $missing ]] || { echo "the README links to what is not installed:$missing"; return 1; }
}
check "the installed README's links lead to installed pages" \
  readme_links_hold "$prefix/share/doc/quorveil-surround"

# --- the Debian package ----------------------------------------------------------
check "apt resolves the package's dependencies" \
  apt-get install --simulate --no-install-recommends "$package"
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
# Maintainer scripts (ldconfig) run on this system, as the root they need
# has no shell of its own.
check "dpkg -i installs the package" \
  dpkg --root="$root" --force-script-chrootless --log=/dev/null -i "$package"
check "packaged surround-host lists the modules" lists_the_modules "$root/usr/bin/surround-host"
check "package holds both LV2 bundles" bash -c "
  test -s '$root/usr/lib/lv2/quorveil-upmix.lv2/manifest.ttl' &&
  test -s '$root/usr/lib/lv2/quorveil-panner.lv2/quorveil_panner.so'"
check "package holds the copyright file" test -s "$root/usr/share/doc/quorveil-surround/copyright"
check "package holds PipeWire's upmix sinks" bash -c "
  test -s '$root/usr/share/quorveil-surround/pipewire/quorveil-upmix-5.1.conf' &&
  test -s '$root/usr/share/quorveil-surround/pipewire/quorveil-upmix-7.1.conf'"
check "dpkg -r removes it again" dpkg --root="$root" --force-script-chrootless --log=/dev/null -r quorveil-surround
check "nothing of it is left" bash -c "! test -e '$root/usr/bin/surround-host'"

# --- the zip for Windows -----------------------------------------------------------
top=$(basename "$zip" .zip)   # quorveil-surround-<version>-win32
version=${top#quorveil-surround-}
version=${version%-win32}
zip_holds() {
  local listing name
  listing=$(cmake -E tar tf "$zip") || return 1
  for name in quorveil_surround.dll INSTALL.txt LICENSE.txt; do
    grep -qx "$top/$name" <<< "$listing" || { echo "no $top/$name in: $listing"; return 1; }
  done
  ! grep -qv "^$top/" <<< "$listing" || { echo "outside $top/: $listing"; return 1; }
}
check "zip holds one folder $top with the DLL, INSTALL.txt and LICENSE.txt" zip_holds
unpacked=$scratch/zip
mkdir -p "$unpacked"
check "the DLL in the zip is 32-bit Windows" bash -c "
  cd '$unpacked' && cmake -E tar xf '$zip' && objdump -f '$top/quorveil_surround.dll' | grep -q 'pei-i386'"
check "INSTALL.txt names the version and says where the DLL goes and what the host needs" bash -c "
  head -n 1 '$unpacked/$top/INSTALL.txt' | grep -q 'Quorveil Surround $version for Windows' &&
  grep -q 'let it rescan' '$unpacked/$top/INSTALL.txt' && grep -q 'SSE2' '$unpacked/$top/INSTALL.txt' &&
  grep -q '32-bit' '$unpacked/$top/INSTALL.txt'"

echo "packaging: $passed passed, $failed failed"
[[ -z $count_file ]] || echo "$passed $failed" > "$count_file"
(( failed == 0 ))
