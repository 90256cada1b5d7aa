#!/usr/bin/env bash
# Instructions per voice-sample of the plug-in's rendering, counted by callgrind on the benchmark
# workload (velaorin-speed); with an event spacing, a centred bend cuts every block that often.
# With a plug-in path, that plug-in (build/linux-release/lib/clap/VelaOrin.clap for CLAP,
# build/linux-release/lib/vst3/VelaOrin.vst3 for VST 3).
#   bench/callgrind.sh [program=1] [build dir=build/linux-release] [event spacing=0] [plug-in]
set -euo pipefail
source "$(dirname "$0")/valgrind-workload.sh"

# Total instructions (Ir) of one run of the given number of blocks.
count() {
  valgrind --tool=callgrind --callgrind-out-file="$work/out.$1" "$speed" "$program" "$1" "$plugin" \
    "$spacing" >"$work/log.$1" 2>&1
  awk '/^summary:/ {print $2}' "$work/out.$1"
}

irShort="$(count $short)"
irLong="$(count $long)"
perBlock="$(voiceSamplesPerBlock "$work/log.$long")"
grep -E "^(machine|program|events)" "$work/log.$long"
awk -v a="$irShort" -v b="$irLong" -v n=$((long - short)) -v v="$perBlock" 'BEGIN {
  printf "%.0f instructions per block, %.1f instructions per voice-sample\n", (b - a) / n,
         (b - a) / (n * v) }'
