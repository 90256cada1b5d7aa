#!/usr/bin/env bash
# Installs every package the build, the tools and the tests need on a fresh Debian machine.
# Idempotent: a package already present is not fetched again.
set -euo pipefail

need=(cmake g++ make ninja-build pkg-config googletest libgtest-dev libbenchmark-dev
      libsndfile1-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
      wine wine32:i386 wine64 xvfb xauth valgrind
      libcli11-dev  # the renderer's command line
      libx11-dev libcairo2-dev libxtst-dev fonts-dejavu-core  # the Linux editor panel and its tests
      x11-xserver-utils  # xrdb: the panel tests set the screen's Xft.dpi
      # the JACK player, a dummy-driver JACK server for its tests, the Debian package's tools
      libjack-jackd2-dev jackd2 dpkg-dev file
      help2man man-db lintian  # the manual pages, reading them, checking the Debian package
      desktop-file-utils  # desktop-file-validate for the installed desktop entry
      libtsan2 clang libclang-rt-14-dev  # ThreadSanitizer's runtime for g++; clang and libFuzzer
      # the LV2 bundle: headers, the validator, lilv for our test host, lv2ls/lv2info, jalv;
      # mda-lv2 as the speed baseline
      lv2-dev sordi liblilv-dev lilv-utils jalv mda-lv2
      qtractor  # a CLAP host: its plug-in scanner in the tests, the instrument in a session
      ardour  # VelaOrin.vst3 in a real host: its scanner and headless session tools
      )

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
