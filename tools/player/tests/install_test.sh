#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks every file is where hosts, desktops and man
# look; the installed renderer, run from a folder with no plug-in, must find its prefix's plug-in
# and render the demo to the same bytes as the build tree; the installed player must find it too.
# Then the Debian package: unpacked into a scratch root, the same render; its manual pages read
# with man; stripped binaries, a changelog of its version, no ldconfig; lintian finds no error, and
# every warning it gives is explained in docs/packaging.md.
#   install_test.sh BUILD_DIR
set -euo pipefail
export LC_ALL=C
build=$1
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
scratch=$(mktemp -d /tmp/velaorin-install-XXXXXX)
jackd_pid=""
cleanup() {
  [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# From a fresh folder, with a HOME of no plug-ins: `velaorin-render -v` names the plug-in it took.
"$build/bin/velaorin-render" -q -o "$scratch/reference.wav"
mkdir "$scratch/home"
renders_demo() {  # PROGRAM PLUGIN_IT_MUST_TAKE
  local work
  work=$(mktemp -d "$scratch/work-XXXXXX")
  (cd "$work" && HOME=$scratch/home "$1" -v -o demo.wav) >"$work.log" 2>&1 ||
    fail "$1 could not render the demo: $(cat "$work.log")"
  grep -qF "with VelaOrin ($2)" "$work.log" || fail "$1 did not take $2: $(cat "$work.log")"
  cmp -s "$work/demo.wav" "$scratch/reference.wav" || fail "$1 rendered other bytes"
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
# lib/lv2 is the LV2 bundle's, whatever it holds.
expected="bin/velaorin
bin/velaorin-render
lib/clap/VelaOrin.clap
lib/vst/VelaOrin.so
lib/vst3/VelaOrin.vst3/Contents/x86_64-linux/VelaOrin.so
share/applications/velaorin.desktop
share/doc/velaorin/README.md
share/doc/velaorin/changelog.gz
share/doc/velaorin/copyright
share/icons/hicolor/scalable/apps/velaorin.svg
share/man/man1/velaorin-render.1.gz
share/man/man1/velaorin.1.gz
share/velaorin/VelaOrin-Factory.fxb"
# The README's pages, beside it as in the source tree.
expected=$( (echo "$expected"; cd "$source_dir" &&
  find docs -type f \( -name '*.md' -o -name '*.png' \) | sed 's|^|share/doc/velaorin/|') | sort)
# share/velaorin/presets holds the 32 factory program files, checked below.
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | grep -v -e '^lib/lv2/' -e '^share/velaorin/presets/' | sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$actual"
[ "$(ls "$prefix/share/velaorin/presets" | grep -c '^[0-9][0-9]-[a-z0-9-]*\.fxp$')" = 32 ] ||
  fail "not the 32 factory program files in share/velaorin/presets"
"$prefix/bin/velaorin-render" -p "$prefix/lib/vst/VelaOrin.so" \
  --preset "$prefix/share/velaorin/presets/31-sci-fi-zap.fxp" --list-programs |
  grep -q '^ *0  Sci-Fi Zap  (current)$' || fail "an installed factory program file"
for program in velaorin velaorin-render; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not executable"
done
"$prefix/bin/velaorin" --version | grep -q '^velaorin [0-9]' || fail "velaorin --version"
# Some errors ("will be fatal in the future") and warnings leave its exit status at 0.
desktop-file-validate "$prefix/share/applications/velaorin.desktop" >"$scratch/desktop.txt" 2>&1 &&
  ! grep -qE ': (error|warning):' "$scratch/desktop.txt" ||
  fail "desktop-file-validate velaorin.desktop: $(cat "$scratch/desktop.txt")"
grep -q '^Exec=velaorin --desktop$' "$prefix/share/applications/velaorin.desktop" || fail "desktop Exec"
renders_demo "$prefix/bin/velaorin-render" "$prefix/lib/vst/VelaOrin.so"
"$prefix/bin/velaorin-render" -p "$prefix/lib/vst/VelaOrin.so" \
  --bank "$prefix/share/velaorin/VelaOrin-Factory.fxb" --list-programs |
  grep -q '^ 31  Sci-Fi Zap$' || fail "the installed factory bank"

# The installed player, away from the build tree, finds lib/vst/VelaOrin.so.
# A fixed name: JACK reclaims a dead server's registry slot only for a server of the same name.
server=velatest-install
JACK_NO_AUDIO_RESERVATION=1 jackd --no-realtime -n "$server" -d dummy -r 48000 -p 256 \
  >"$scratch/jackd.log" 2>&1 &
jackd_pid=$!
export JACK_DEFAULT_SERVER=$server XDG_CONFIG_HOME=$scratch/config
# Generous waits: CI machines are often busy, and a SIGTERM before the player has set up its
# handlers would end it without saving.
for _ in $(seq 300); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
"$prefix/bin/velaorin" --no-gui --no-connect >"$scratch/player.out" 2>&1 &
player=$!
for _ in $(seq 300); do grep -q "running as" "$scratch/player.out" && break; sleep 0.1; done
grep -q "running as" "$scratch/player.out" || fail "installed player did not start: $(cat "$scratch/player.out")"
kill -TERM "$player"
wait "$player" || fail "installed player: $(cat "$scratch/player.out")"
grep -q '^name 1 Eth Drm$' "$XDG_CONFIG_HOME/velaorin/state" || fail "installed player: no state"

# The Debian package: the same files under /usr, dependencies from dpkg-shlibdeps.
(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb" >/dev/null)
deb=$(ls "$scratch"/deb/*.deb)
echo "package $(basename "$deb"):"
dpkg-deb -c "$deb" | awk '{print "  " $6}'
packaged=$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print $6}' | sed 's|^\./usr/||' |
  grep -v -e '^lib/lv2/' -e '^share/velaorin/presets/' | sort)
[ "$packaged" = "$expected" ] || fail "the package's files differ from the install's:
$packaged"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libjack libcairo2 libx11-6 libsndfile1; do
  grep -q "$library" <<<"$depends" || fail "package does not depend on $library"
done
dpkg-deb -e "$deb" "$scratch/control"
! grep -qs ldconfig "$scratch"/control/post* "$scratch"/control/pre* || fail "maintainer scripts call ldconfig"

root=$scratch/root
dpkg -x "$deb" "$root"
renders_demo "$root/usr/bin/velaorin-render" "$root/usr/lib/vst/VelaOrin.so"
for binary in usr/bin/velaorin usr/bin/velaorin-render usr/lib/vst/VelaOrin.so \
  usr/lib/clap/VelaOrin.clap usr/lib/vst3/VelaOrin.vst3/Contents/x86_64-linux/VelaOrin.so; do
  file -b "$root/$binary" | grep -q ', stripped' || fail "$binary is not stripped in the package"
done
file -b "$build/bin/velaorin" | grep -q 'not stripped' || fail "the build tree lost its symbols"
# The LV2 bundle in /usr/lib/lv2, as lilv finds it, its binary stripped too.
[ "$(LV2_PATH=$root/usr/lib/lv2 lv2ls 2>&1)" = "urn:velaorin:VelaOrin" ] || fail "no LV2 bundle in the package"
file -b "$root/usr/lib/lv2/VelaOrin.lv2/velaorin_dsp.so" | grep -q ', stripped' ||
  fail "the LV2 binary is not stripped in the package"
zcat "$root/usr/share/doc/velaorin/changelog.gz" >"$scratch/changelog"
[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$(dpkg-deb -f "$deb" Version)" ] ||
  fail "the changelog's latest entry is not for version $(dpkg-deb -f "$deb" Version)"

# The manual pages as man shows them, without a formatting warning.
for page in velaorin:--no-gui velaorin-render:--bit-depth; do
  program=${page%%:*}
  file=$root/usr/share/man/man1/$program.1.gz
  MANWIDTH=100 man -l "$file" >"$scratch/$program.txt" 2>"$scratch/$program.warnings" ||
    fail "man -l $program.1.gz: $(cat "$scratch/$program.warnings")"
  man --warnings -l "$file" 2>>"$scratch/$program.warnings" >/dev/null
  [ ! -s "$scratch/$program.warnings" ] || fail "$program(1): $(cat "$scratch/$program.warnings")"
  for text in "^NAME" "^ *$program +- " "${page#*:}" "^PLUG-IN LOOKUP" "/usr/local/lib/vst" \
    "^EXIT STATUS" "^FILES" "^EXAMPLES" "^$program [0-9]"; do
    grep -qE -e "$text" "$scratch/$program.txt" || fail "$program(1) lacks '$text'"
  done
done

# lintian: no error; a warning only with its reason in docs/packaging.md (by tag name).
command -v lintian >/dev/null || bash "$source_dir/scripts/setup.sh" >/dev/null
# It exits non-zero on an error in the package and when it could not check it at all.
lintian_status=0
lintian --no-tag-display-limit "$deb" >"$scratch/lintian.out" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$scratch/lintian.out" >"$scratch/lintian.txt" || true
echo "lintian: $(grep -c '^E:' "$scratch/lintian.txt" || true) errors, $(grep -c '^W:' "$scratch/lintian.txt" || true) warnings"
cat "$scratch/lintian.txt"
! grep -q '^E:' "$scratch/lintian.txt" || fail "lintian reports errors"
[ "$lintian_status" -eq 0 ] || fail "lintian exited with status $lintian_status"
for tag in $(awk '/^W:/ {print $3}' "$scratch/lintian.txt" | sort -u); do
  grep -qF "$tag" "$source_dir/docs/packaging.md" ||
    fail "lintian warning $tag has no reason in docs/packaging.md"
done
echo "install test passed"
