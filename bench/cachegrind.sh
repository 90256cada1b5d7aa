#!/usr/bin/env bash
# Data-cache misses per voice-sample of the plug-in's rendering, simulated by cachegrind on the
# benchmark workload for two cache shapes: a 32 KiB L1 with a 512 KiB or a 2 MiB second level
# (cachegrind models two levels; its last level stands for the core's L2 here, since any L3
# holds the whole engine).
#   bench/cachegrind.sh [program=1] [build dir=build/linux-release]
set -euo pipefail
source "$(dirname "$0")/valgrind-workload.sh"

# "Ir Dr D1mr DLmr" (instructions, data reads, L1 and last-level read misses) of one run.
count() {
  local blocks="$1" shape="$2" tag="$1.$3"
  valgrind --tool=cachegrind --cache-sim=yes --I1=32768,8,64 --D1=32768,8,64 $shape \
    --cachegrind-out-file="$work/out.$tag" "$speed" "$program" "$blocks" >"$work/log.$tag" 2>&1
  awk '/^events:/ {for (i = 2; i <= NF; i++) col[$i] = i}
       /^summary:/ {print $col["Ir"], $col["Dr"], $col["D1mr"], $col["DLmr"]}' "$work/out.$tag"
}

first=1
for shape in "--LL=524288,8,64 512KiB" "--LL=2097152,16,64 2MiB"; do
  set -- $shape
  a="$(count $short "$1" "$2")"
  b="$(count $long "$1" "$2")"
  if [ "$first" = 1 ]; then
    grep -E "^(machine|program)" "$work/log.$long.$2"
    first=0
  fi
  perBlock="$(voiceSamplesPerBlock "$work/log.$long.$2")"
  awk -v a="$a" -v b="$b" -v n=$((long - short)) -v v="$perBlock" -v shape="$2" 'BEGIN {
    split(a, x, " "); split(b, y, " "); d = n * v
    printf "L1 32 KiB, L2 %-6s per voice-sample: %.1f instructions, %.1f data reads, " \
           "%.3f L1 read misses, %.4f L2 read misses\n", shape, (y[1] - x[1]) / d,
           (y[2] - x[2]) / d, (y[3] - x[3]) / d, (y[4] - x[4]) / d }'
done
