#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for a bounded time, starting
# from its seed corpus in fuzz/corpus/<target>/. New inputs the fuzzer finds are kept under
# build/linux-fuzz/corpus/ (never in the source tree); a crash leaves its input in
# build/linux-fuzz/findings/.
#   bash scripts/fuzz.sh [seconds per target, default 20] [target ...]
# Prints one line per target and a closing "fuzz: N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
shift || true
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz >/dev/null

bin=build/linux-fuzz/bin
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$bin"/*_fuzz; do
    [ -x "$exe" ] && targets+=("$(basename "$exe" _fuzz)")
  done
fi

passed=0
failed=0
for target in "${targets[@]}"; do
  work=build/linux-fuzz/corpus/$target
  findings=build/linux-fuzz/findings
  mkdir -p "$work" "$findings"
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds+=("fuzz/corpus/$target")
  log=build/linux-fuzz/$target.log
  set +e
  "$bin/${target}_fuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "fuzz $target: passed, ${runs:-?} executions in ${seconds} s, no finding"
  else
    failed=$((failed + 1))
    echo "fuzz $target: FAILED (exit $rc), see $log"
    grep -m 5 -E 'ERROR|SUMMARY|deadly signal|runtime error' "$log" || true
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
