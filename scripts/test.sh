#!/usr/bin/env bash
# Sets the machine up, builds every target and runs every test: the native suite, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

presets=(linux-release linux-asan win32 win64)
for preset in "${presets[@]}"; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# Windows programs that open windows need a display; a 24-bit screen keeps colours exact.
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velaorin-wine}"
display=(xvfb-run -a -s "-screen 0 1280x1024x24")

passed=0
failed=0
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${presets[@]}"; do
  echo "== test $preset"
  runner=()
  case "$preset" in win*) runner=("${display[@]}") ;; esac
  set +e
  "${runner[@]}" ctest --preset "$preset" 2>&1 | tee "$log"
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

echo "all presets: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit "$status"
