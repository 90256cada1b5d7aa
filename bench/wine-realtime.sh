#!/usr/bin/env bash
# Realtime factor of the 32-bit Windows DLL under Wine: cross-builds VelaOrin.dll and
# velaorin-speed.exe (win32 preset settings) and runs the benchmark workload for each program.
#   bench/wine-realtime.sh [blocks=20000] [build dir=build/win32]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
blocks="${1:-20000}"
build="${2:-$root/build/win32}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target velaorin-speed >/dev/null
cd "$build/bin"  # the program loads VelaOrin.dll from beside itself
for program in 0 1; do
  "$root/scripts/wine-run.sh" ./velaorin-speed.exe "$program" "$blocks"
done
