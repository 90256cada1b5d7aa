#!/usr/bin/env bash
# Runs a program on a private Xvfb display with a 24-bit screen and ends the server afterwards.
# -noreset: the server must not restart (refusing connections meanwhile) each time the last
# client of a test goes away.
# Xvfb picks a free display number itself (-displayfd), so runs that start at the same moment
# never end up sharing, or losing, one server.
#   scripts/x11-test.sh build/linux-release/bin/vela_x11_tests [arguments]
set -euo pipefail
fifo_dir="$(mktemp -d)"
trap 'rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo_dir/display" >/dev/null 2>&1 &
server=$!
read -r -t 30 number <"$fifo_dir/display" || { kill "$server" 2>/dev/null; echo "Xvfb did not start" >&2; exit 1; }
set +e
DISPLAY=":$number" "$@"
rc=$?
set -e
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
exit "$rc"
