#!/usr/bin/env bash
# Sets the machine up, builds the Linux release and starts the JACK player with its window.
# A JACK server must be running: jackd (e.g. `jackd -d alsa -d hw:0 &`), or PipeWire, whose
# JACK library serves as well (package pipewire-jack; or start the player under `pw-jack`).
# Extra arguments go to velaorin, e.g.
#   bash scripts/player.sh --program 1
#   bash scripts/player.sh --no-gui --connect-midi "a2j:Keystation [20] (capture): Keystation MIDI 1"
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/build-release.sh

player="$root/build/linux-release/bin/velaorin"
if ! jack_lsp >/dev/null 2>&1 && command -v pw-jack >/dev/null 2>&1; then
  exec pw-jack "$player" "$@"
fi
exec "$player" "$@"
