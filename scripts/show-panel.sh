#!/usr/bin/env bash
# Builds the 32-bit Windows plug-in (preset win32) if needed, opens its editor panel under Wine
# on a private Xvfb display and saves a screenshot; prints the PNG's path.
#   scripts/show-panel.sh [build-folder]      (default: build/win32)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$root/build/win32}")"
if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/win32" ]; then
    cmake --preset win32 -S "$root" >/dev/null
  else
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
fi
cmake --build "$build" -j2 --target VelaOrin vela_host_tests >/dev/null
png="$build/artifacts/panel.png"
rm -f "$png"
# The test writes ..\artifacts\panel.png relative to the bin folder it runs in.
(cd "$build/bin" && "$root/scripts/wine-gui-test.sh" ./vela_host_tests.exe \
  --gtest_filter='Win32PanelPicture.*' >/dev/null)
[ -f "$png" ] || { echo "no screenshot was written" >&2; exit 1; }
echo "$png"
