#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for a bounded time, starting
# from its seed corpus in fuzz/corpus/<target>/. New inputs the fuzzer finds are kept under
# build/linux-fuzz/corpus/ (never in the source tree); a crash leaves its input in
# build/linux-fuzz/findings/.
#   bash scripts/fuzz.sh [seconds per target, default 20] [target ...]
# Every target fuzz/CMakeLists.txt declares runs (or the ones named); a target passes when its
# binary was built, it exits cleanly, and it ran at least a floor of inputs: one that stops
# early, hangs on an input or never starts fails. Prints one line per target and a closing
# "fuzz: N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
shift || true
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: seconds must be a whole number > 0" >&2; exit 2; }
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz >/dev/null

# The declared targets, whatever the build made of them: a binary missing is a failure.
mapfile -t declared < <(sed -nE 's/^[[:space:]]*vela_fuzz_target\(([A-Za-z0-9_]+)_fuzz[[:space:]].*/\1/p' \
  fuzz/CMakeLists.txt)
[ ${#declared[@]} -gt 0 ] || { echo "fuzz.sh: no target declared in fuzz/CMakeLists.txt" >&2; exit 2; }
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${declared[@]}")

# Inputs each target must at least run: 50 a second. The slowest targets (dispatcher,
# midi_events) ran 650 a second under the sanitizers on a 2-core machine with a load of 10.
min_runs=$((50 * seconds))

bin=build/linux-fuzz/bin
passed=0
failed=0
for target in "${targets[@]}"; do
  exe=$bin/${target}_fuzz
  if [[ " ${declared[*]} " != *" $target "* ]]; then
    failed=$((failed + 1))
    echo "fuzz $target: FAILED, no such target in fuzz/CMakeLists.txt"
    continue
  fi
  if [ ! -x "$exe" ]; then
    failed=$((failed + 1))
    echo "fuzz $target: FAILED, $exe was not built"
    continue
  fi
  work=build/linux-fuzz/corpus/$target
  findings=build/linux-fuzz/findings
  mkdir -p "$work" "$findings"
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds+=("fuzz/corpus/$target")
  log=build/linux-fuzz/$target.log
  set +e
  "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$rc" -ne 0 ]; then
    failed=$((failed + 1))
    echo "fuzz $target: FAILED (exit $rc), see $log"
    grep -m 5 -E 'ERROR|SUMMARY|deadly signal|runtime error' "$log" || true
  elif ! [[ "$runs" =~ ^[0-9]+$ ]]; then
    failed=$((failed + 1))
    echo "fuzz $target: FAILED, no count of executions in $log"
  elif [ "$runs" -lt "$min_runs" ]; then
    failed=$((failed + 1))
    echo "fuzz $target: FAILED, only $runs executions in ${seconds} s (at least $min_runs), see $log"
  else
    passed=$((passed + 1))
    echo "fuzz $target: passed, $runs executions in ${seconds} s, no finding"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
