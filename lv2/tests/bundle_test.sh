#!/usr/bin/env bash
# VelaOrin.lv2 through Debian's tools, from the build tree and from a `cmake --install` prefix:
# lv2_validate finds no error; lv2ls lists it; lv2info shows the class, the port symbols (session
# keys: renaming one loses every saved value, so they are pinned here), the UI and the presets;
# lv2bench runs the installed binary (not with --no-load: a sanitized binary loads only into a
# sanitized program).
#   lv2/tests/bundle_test.sh BUILD_DIR [--no-load]
set -uo pipefail
build=$1
uri=urn:velaorin:VelaOrin
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

check_bundle() {  # FOLDER_OF_BUNDLES WHAT
  local dir=$1 where=$2 out
  # Bookworm's lv2_validate names a data file (lv2core.doap.ttl) the package no longer ships:
  # that line is expected.
  out=$(lv2_validate "$dir"/VelaOrin.lv2/*.ttl 2>&1) && [ "$(grep -vc -e '^Skipping file .*lv2core.doap.ttl' \
    -e '^Found 0 errors' <<<"$out")" -eq 0 ] || fail "$where: lv2_validate: $out"
  [ "$(LV2_PATH="$dir" lv2ls 2>&1)" = "$uri" ] || fail "$where: lv2ls"
  out=$(LV2_PATH="$dir:/usr/lib/lv2" lv2info "$uri" 2>/dev/null)
  for line in "Bundle: *file://$dir/VelaOrin.lv2/" 'Class: *Instrument Plugin' 'Author: *Dravnik' \
    'Required Features: *http://lv2plug.in/ns/ext/urid#map' "	*$uri#ui" \
    'Class: *http://lv2plug.in/ns/extensions/ui#X11UI' "Binary: *file://$dir/VelaOrin.lv2/velaorin_ui.so"; do
    grep -q "^[[:space:]]*$line\$" <<<"$out" || fail "$where: lv2info lacks '$line'"
  done
  local symbols presets
  symbols=$(grep -o 'Symbol: *[^ ]*' <<<"$out" | awk '{printf "%s ", $2}')
  [ "$symbols" = "Mod1 Mod2 FB1 FB2 A D S R CutOff Q Type Env M1S M2S midi_in out_L out_R " ] ||
    fail "$where: port symbols '$symbols'"
  # Our two and the 32 of the factory library (their values: the lilv host test).
  presets=$(sed -n '/Presets:/,/^$/p' <<<"$out" | sed '1d;/^$/d;s/^[[:space:]]*//')
  [ "$(wc -l <<<"$presets")" -eq 34 ] && grep -qx init1 <<<"$presets" &&
    grep -qx 'Eth Drm' <<<"$presets" || fail "$where: presets: $presets"
}

check_bundle "$build/lib/lv2" "build tree"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
[ "$(ls "$prefix/lib/lv2/VelaOrin.lv2")" = "$(ls "$build/lib/lv2/VelaOrin.lv2")" ] || fail "installed files"
check_bundle "$prefix/lib/lv2" "installed"
if [ "${2:-}" != --no-load ]; then
  LV2_PATH="$prefix/lib/lv2" lv2bench -b 256 -n 48000 "$uri" 2>&1 | grep -q "$uri" || fail "lv2bench"
fi
[ "$failures" -eq 0 ] && echo "bundle: all checks passed"
exit "$failures"
