#!/usr/bin/env bash
# Runs a Windows test program under Wine with a private, quiet prefix (created on first use).
# Debian's `wine` always starts the 32-bit loader when wine32 is installed, so 64-bit programs go
# to the 64-bit loader directly; that also serves a kernel that runs no 32-bit x86 code (no IA32
# emulation), where a 32-bit program cannot run at all: it is then reported and skipped (exit 77,
# which the tests take as a skip).
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/velaorin-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"  # no Mono/Gecko prompts
exe="$1"; shift
[ -f "$exe" ] || exe="$exe.exe"
loader=wine
if [ -x /usr/lib/wine/wine64 ] && file -b "$exe" | grep -q '^PE32+'; then
  loader=/usr/lib/wine/wine64
  export WINELOADER=$loader
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "wine-run.sh: this machine runs no 32-bit x86 programs (its kernel has no IA32" \
    "emulation), so $exe cannot run under Wine here: skipped" >&2
  exit 77
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
exec "$loader" "$exe" "$@"
