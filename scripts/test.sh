#!/usr/bin/env bash
# Sets the machine up, builds every target and runs every test: the native suite, the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency tests under
# ThreadSanitizer, the Windows builds under Wine, and each fuzz target for a bounded time.
# Closes with "total: N passed, M failed, K skipped". A skipped test fails the run unless it is
# on the list below: a skip is a test that did not run, whatever ctest's percentage says.
#   VELA_PRESETS="linux-release linux-fuzz" bash scripts/test.sh   # some steps only, never in CI
set -euo pipefail
cd "$(dirname "$0")/.."

# Tests allowed to skip, as "preset:test name" (a glob), each with the reason it cannot run.
# None today: with what scripts/setup.sh installs, every test runs on a fresh machine.
allowed_skips=(
)

all_steps=(linux-release linux-asan linux-tsan win32 win64 linux-fuzz)
read -r -a steps <<<"${VELA_PRESETS:-${all_steps[*]}}"

# A reference rewritten by the run it checks passes whatever the code does.
if [ -n "${VELA_UPDATE_GOLDEN+set}" ]; then
  echo "test.sh: VELA_UPDATE_GOLDEN is set: it rewrites the golden files instead of checking" \
    "them; unset it (update them with the one test, then review the diff)" >&2
  exit 2
fi
if [ "${steps[*]}" != "${all_steps[*]}" ]; then
  if [ -n "${CI:-}" ]; then
    echo "test.sh: VELA_PRESETS leaves steps out; CI runs them all" >&2
    exit 2
  fi
  for step in "${steps[@]}"; do
    [[ " ${all_steps[*]} " == *" $step "* ]] || { echo "test.sh: no step '$step'" >&2; exit 2; }
  done
  echo "== these steps only: ${steps[*]}"
fi

# Reads one ctest log: adds its counts to the totals and names its skipped tests. ctest counts a
# skipped test among the passed ones ("out of N" leaves disabled tests out); its closing list
# "The following tests did not run:" names both.
passed=0
failed=0
skipped=0
skipped_names=()
count_ctest() {  # PRESET LOG; fails when the log has no closing line
  local preset=$1 log=$2 line total bad name kind
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  [ -n "$line" ] || return 1
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  [ "$total" -gt 0 ] || return 1
  local counted_skips=0
  while IFS=$'\t' read -r name kind; do
    [ -n "$name" ] || continue
    skipped_names+=("$preset:$name")
    skipped=$((skipped + 1))
    [ "$kind" = Skipped ] && counted_skips=$((counted_skips + 1))
  done < <(sed -nE '/^The following tests did not run:/,/^$/ s/^[[:space:]]+[0-9]+ - (.*) \((Skipped|Disabled)\)$/\1\t\2/p' "$log")
  passed=$((passed + total - bad - counted_skips))
  failed=$((failed + bad))
}

allowed() {  # "PRESET:NAME"
  local pattern
  for pattern in "${allowed_skips[@]}"; do
    # shellcheck disable=SC2053  # a glob on purpose
    [[ $1 == $pattern ]] && return 0
  done
  return 1
}

# Counts the lines of a summary and checks the skips; exits with the run's status.
finish() {  # STATUS
  local status=$1 name
  for name in "${skipped_names[@]}"; do
    if allowed "$name"; then
      echo "skipped (allowed): $name"
    else
      echo "SKIPPED, not allowed: $name"
      status=1
    fi
  done
  echo "total: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ] || status=1
  exit "$status"
}

# Sourced (for a look at the counting on a saved log), nothing runs.
[[ "${BASH_SOURCE[0]}" == "$0" ]] || return 0

bash scripts/setup.sh

# A kernel without IA32 emulation runs no 32-bit x86 program, so the 32-bit DLL's Wine tests
# cannot run on it (scripts/wine-run.sh reports them skipped); the DLL is still built and its
# exports and record layout checked. Any other skip still fails the run.
if [[ " ${steps[*]} " == *" win32 "* ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "test.sh: this machine runs no 32-bit x86 programs: the win32 Wine tests will be skipped"
  allowed_skips+=("win32:*")
fi

for preset in "${steps[@]}"; do
  [ "$preset" != linux-fuzz ] || continue  # scripts/fuzz.sh builds its own
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

# Console test programs run under Wine without a display; the window tests start their own
# (scripts/wine-gui-test.sh).
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/velaorin-wine}"

status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in "${steps[@]}"; do
  [ "$preset" != linux-fuzz ] || continue
  echo "== test $preset"
  set +e
  ctest --preset "$preset" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  [ "$rc" -eq 0 ] || status=1
  if ! count_ctest "$preset" "$log"; then
    echo "test.sh: no test count from ctest --preset $preset" >&2
    status=1
  fi
done
case "$(uname)" in Linux) WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true ;; esac

# Each fuzz target counts as one test; about a minute in all.
if [[ " ${steps[*]} " == *" linux-fuzz "* ]]; then
  echo "== fuzz"
  set +e
  bash scripts/fuzz.sh "${VELA_FUZZ_SECONDS:-20}" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  [ "$rc" -eq 0 ] || status=1
  line=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    echo "test.sh: no closing line from scripts/fuzz.sh" >&2
    status=1
  else
    passed=$((passed + $(sed -E 's/^fuzz: ([0-9]+) passed.*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/.*, ([0-9]+) failed.*/\1/' <<<"$line")))
  fi
fi

finish "$status"
