#!/usr/bin/env bash
# Debian's Qtractor plug-in scanner on the built VelaOrin.clap. It reads "CLAP:<path>" lines and
# answers one line per plug-in: CLAP|name|audio ins:outs|MIDI ins:outs|params in:out|flags|...
# VelaOrin must be an instrument with no audio input, two outputs, a MIDI (note) input, its 14
# parameters, a panel (GUI) and its own state (EXT).
#   qtractor_scan_test.sh PATH/VelaOrin.clap
set -euo pipefail
clap=$1
scanner=$(ls /usr/lib/*/qtractor/qtractor_plugin_scan 2>/dev/null | head -n 1 || true)
[ -n "$scanner" ] || { echo "FAIL: no qtractor_plugin_scan (scripts/setup.sh installs qtractor)"; exit 1; }
line=$(echo "CLAP:$clap" | QT_QPA_PLATFORM=offscreen timeout 60 "$scanner" | grep '^CLAP|' || true)
echo "$line"
IFS='|' read -r kind name audio midi params flags file index _ <<<"$line"
fail() { echo "FAIL: $*"; exit 1; }
[ "$kind" = CLAP ] && [ "$name" = VelaOrin ] || fail "not listed as VelaOrin"
[ "$audio" = 0:2 ] || fail "audio ports $audio, not 0:2"
[ "$midi" = 1:0 ] || fail "MIDI ports $midi, not 1:0"
[ "$params" = 14:0 ] || fail "parameters $params, not 14:0"
for flag in GUI EXT; do
  [[ ",$flags," == *",$flag,"* ]] || fail "no $flag in $flags"
done
[ "$file" = "$clap" ] && [ "$index" = 0 ] || fail "file or index"
echo "qtractor scan test passed"
