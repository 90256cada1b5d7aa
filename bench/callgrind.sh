#!/usr/bin/env bash
# Instructions per voice-sample of the plug-in's rendering, counted by callgrind. Runs the
# benchmark workload (velaorin-speed) for two lengths and divides the difference by the extra
# voice-samples, so loading, table building and start-up cancel out.
#   bench/callgrind.sh [program=1] [build dir=build/linux-release]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-1}"
build="${2:-$root/build/linux-release}"
short=100
long=300

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target velaorin-speed >/dev/null
speed="$build/bin/velaorin-speed"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Total instructions (Ir) of one run of the given number of blocks.
count() {
  valgrind --tool=callgrind --callgrind-out-file="$work/out.$1" "$speed" "$program" "$1" \
    >"$work/log.$1" 2>&1
  awk '/^summary:/ {print $2}' "$work/out.$1"
}

irShort="$(count $short)"
irLong="$(count $long)"
perBlock="$(sed -n 's/.*, \([0-9]*\) voice-samples per block/\1/p' "$work/log.$long")"
grep -E "^(machine|program)" "$work/log.$long"
awk -v a="$irShort" -v b="$irLong" -v n=$((long - short)) -v v="$perBlock" 'BEGIN {
  printf "%.0f instructions per block, %.1f instructions per voice-sample\n", (b - a) / n,
         (b - a) / (n * v) }'
