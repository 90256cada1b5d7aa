#!/usr/bin/env bash
# Sets the machine up, builds every target and runs every test: the native suite, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency tests under
# ThreadSanitizer, the Windows builds under Wine, and each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

presets=(linux-release linux-asan linux-tsan win32 win64)
for preset in "${presets[@]}"; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# Console test programs run under Wine without a display; the window tests start their own
# (scripts/wine-gui-test.sh).
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/velaorin-wine}"

passed=0
failed=0
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${presets[@]}"; do
  echo "== test $preset"
  set +e
  ctest --preset "$preset" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  [ "$rc" -eq 0 ] || status=1
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    status=1
    continue
  fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done
case "$(uname)" in Linux) WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true ;; esac

# Each fuzz target counts as one test; about a minute in all.
echo "== fuzz"
set +e
bash scripts/fuzz.sh "${VELA_FUZZ_SECONDS:-20}" 2>&1 | tee "$log"
set -e
line=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 || true)
if [ -z "$line" ]; then
  status=1
else
  passed=$((passed + $(sed -E 's/^fuzz: ([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.*, ([0-9]+) failed.*/\1/' <<<"$line")))
fi

echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit "$status"
