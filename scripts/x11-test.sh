#!/usr/bin/env bash
# Runs a program on a private Xvfb display with a 24-bit screen, large enough for the panel at
# 300 %, and ends the server afterwards.
# -noreset: the server must not restart (refusing connections meanwhile) each time the last
# client of a test goes away.
# Xvfb picks a free display number itself (-displayfd), so runs that start at the same moment
# never end up sharing, or losing, one server.
# A configuration folder of its own: the panel's scale chosen by the person at this machine
# ($XDG_CONFIG_HOME/velaorin/panel) stays out of the tests, and theirs out of it.
#   scripts/x11-test.sh build/linux-release/bin/vela_x11_tests [arguments]
set -euo pipefail
fifo_dir="$(mktemp -d)"
trap 'rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/display"
mkdir "$fifo_dir/config"
export XDG_CONFIG_HOME="$fifo_dir/config"
Xvfb -displayfd 3 -screen 0 2048x1536x24 -nolisten tcp -noreset 3>"$fifo_dir/display" >/dev/null 2>&1 &
server=$!
read -r -t 30 number <"$fifo_dir/display" || { kill "$server" 2>/dev/null; echo "Xvfb did not start" >&2; exit 1; }
set +e
DISPLAY=":$number" "$@"
rc=$?
set -e
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
exit "$rc"
