# Sourced by callgrind.sh and cachegrind.sh: arguments [program=1] [build dir=build/linux-release]
# [event spacing=0] [plug-in path] become $program, $speed (the built velaorin-speed), $spacing and
# $plugin (empty: the built VelaOrin.so; a path ending in .clap: VelaOrin.clap; a path naming
# VelaOrin.vst3: the VST 3 plug-in); $work is a scratch folder removed on exit.
# Both tools run the workload for $short and $long blocks and divide the difference by the extra
# voice-samples, so loading, table building and start-up cancel out.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="${1:-1}"
build="${2:-$root/build/linux-release}"
spacing="${3:-0}"
plugin="${4:-}"
short=100
long=300

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target velaorin-speed >/dev/null
speed="$build/bin/velaorin-speed"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Voice-samples per block, from a run's log.
voiceSamplesPerBlock() {
  sed -n 's/.*, \([0-9]*\) voice-samples per block/\1/p' "$1"
}
