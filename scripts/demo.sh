#!/usr/bin/env bash
# Sets the machine up, builds the Linux release and renders the built-in demo song through the
# plug-in to demo.wav in the repository root. Extra arguments go to velaorin-render, e.g.
#   bash scripts/demo.sh --bit-depth 24 --sample-rate 48000
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/build-release.sh

out="$root/demo.wav"
report=$(build/linux-release/bin/velaorin-render --overwrite --output "$out" "$@")
[ -z "$report" ] || echo "$report"
# The tool's closing line ends with the render's peak, or "silent" (none with --quiet).
if grep -q '^wrote .*, silent$' <<<"$report"; then
  echo "The demo rendered to silence: is the plug-in playing?" >&2
  exit 1
fi
echo "Demo song rendered to $out"
if command -v soxi >/dev/null 2>&1; then
  soxi "$out"
fi
