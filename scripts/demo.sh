#!/usr/bin/env bash
# Sets the machine up, builds the Linux release and renders the built-in demo song through the
# plug-in to demo.wav in the repository root. Extra arguments go to velaorin-render, e.g.
#   bash scripts/demo.sh --bit-depth 24 --sample-rate 48000
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/build-release.sh

out="$root/demo.wav"
build/linux-release/bin/velaorin-render --overwrite --output "$out" "$@"
echo "Demo song rendered to $out"
if command -v soxi >/dev/null 2>&1; then
  soxi "$out"
fi
