#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks every file is where hosts and desktops look;
# runs the installed player so it must find the installed plug-in; builds the Debian package and
# lists its contents and dependencies.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d /tmp/velaorin-install-XXXXXX)
jackd_pid=""
cleanup() {
  [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
expected="bin/velaorin
bin/velaorin-render
lib/vst/VelaOrin.so
share/applications/velaorin.desktop
share/doc/velaorin/README.md
share/icons/hicolor/scalable/apps/velaorin.svg
share/velaorin/VelaOrin-Factory.fxb"
actual=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
$actual"
for program in velaorin velaorin-render; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not executable"
done
"$prefix/bin/velaorin" --version | grep -q '^velaorin [0-9]' || fail "velaorin --version"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/velaorin.desktop"
fi
grep -q '^Exec=velaorin$' "$prefix/share/applications/velaorin.desktop" || fail "desktop Exec"
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

# The Debian package: files under /usr, dependencies from dpkg-shlibdeps.
(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb" >/dev/null)
deb=$(ls "$scratch"/deb/*.deb)
echo "package $(basename "$deb"):"
dpkg-deb -c "$deb" | awk '{print "  " $6}'
for file in ./usr/bin/velaorin ./usr/bin/velaorin-render ./usr/lib/vst/VelaOrin.so \
  ./usr/share/applications/velaorin.desktop ./usr/share/icons/hicolor/scalable/apps/velaorin.svg \
  ./usr/share/doc/velaorin/README.md ./usr/share/velaorin/VelaOrin-Factory.fxb; do
  dpkg-deb -c "$deb" | awk '{print $6}' | grep -qx "$file" || fail "package lacks $file"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libjack libcairo2 libx11-6 libsndfile1; do
  grep -q "$library" <<<"$depends" || fail "package does not depend on $library"
done
echo "install test passed"
