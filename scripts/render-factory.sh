#!/usr/bin/env bash
# Renders every factory sound on a short phrase of its kind (a bass line for a bass, a melody for
# a lead, single strikes for percussion...) through the plug-in, with the factory bank loaded as
# a user would load it, and draws one contact sheet of their spectrograms:
#   build/linux-release/artifacts/factory/NN-name.flac     (24-bit, 44100 Hz)
#   build/linux-release/artifacts/factory/contact-sheet.png
#   bash scripts/render-factory.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target velaorin-render velaorin-factory vela_factory_bank >/dev/null

bin=build/linux-release/bin
bank=build/linux-release/share/velaorin/VelaOrin-Factory.fxb
out=build/linux-release/artifacts/factory
mkdir -p "$out"
rm -f "$out"/*.flac
phrases=$(mktemp -d)
trap 'rm -rf "$phrases"' EXIT
"$bin/velaorin-factory" phrases "$phrases"
for midi in "$phrases"/*.mid; do
  stem=$(basename "$midi" .mid)
  "$bin/velaorin-render" "$midi" --bank "$bank" --program "$((10#${stem%%-*}))" \
    --tail-time 3000 --bit-depth 24 -o "$out/$stem.flac" -q
done
"$bin/velaorin-factory" sheet "$out/contact-sheet.png" "$out"
echo "factory: $(ls "$out"/*.flac | wc -l) renders and $out/contact-sheet.png"
