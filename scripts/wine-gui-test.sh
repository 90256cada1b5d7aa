#!/usr/bin/env bash
# Runs a Windows test program that opens windows: under Wine, on a private Xvfb display with a
# 24-bit screen (xvfb-run's default screen has 8-bit colour, which distorts every colour read
# back), in a Wine prefix of its own, with the window tests switched on.
#   scripts/wine-gui-test.sh build/win32/bin/vela_host_tests.exe --gtest_filter='Win32*'
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# A prefix apart from the console tests' one: Wine binds a prefix's desktop to the display of
# the first program that needs it.
export WINEPREFIX="${VELA_GUI_WINEPREFIX:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/velaorin-wine-gui}"
export VELA_GUI_TESTS=1
# The Wine processes of this prefix end before the display does.
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c \
  '"$0" "$@"; rc=$?; wineserver -k >/dev/null 2>&1 || true; exit $rc' "$here/wine-run.sh" "$@"
