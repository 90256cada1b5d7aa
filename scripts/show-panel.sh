#!/usr/bin/env bash
# Saves screenshots of the editor panel and prints their paths:
# - the Linux panel of VelaOrin.so (preset linux-release), opened by our X11 test host on a
#   private Xvfb display: build/linux-release/artifacts/panel-x11.png, and the same at 200 %:
#   build/linux-release/artifacts/panel-200.png;
# - the same panel as VelaOrin.lv2's UI inside jalv.gtk3: build/linux-release/artifacts/panel-lv2.png;
# - the 32-bit Windows plug-in (preset win32) under Wine on a private Xvfb display:
#   <build-folder>/artifacts/panel.png.
#   scripts/show-panel.sh [build-folder]      (default: build/win32)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

linux="$root/build/linux-release"
[ -f "$linux/CMakeCache.txt" ] || cmake --preset linux-release -S "$root" >/dev/null
cmake --build "$linux" -j2 --target VelaOrin vela_x11_tests >/dev/null
mkdir -p "$linux/artifacts"
xpng="$linux/artifacts/panel-x11.png"
x2png="$linux/artifacts/panel-200.png"
rm -f "$xpng" "$x2png"
VELA_PANEL_PNG="$xpng" VELA_PANEL_200_PNG="$x2png" "$root/scripts/x11-test.sh" \
  "$linux/bin/vela_x11_tests" \
  --gtest_filter='X11Host.PanelIsAMappedChild*:X11Host.EveryControlAnswersWhereItIsDrawn*' >/dev/null
[ -f "$xpng" ] && [ -f "$x2png" ] || { echo "no Linux screenshot was written" >&2; exit 1; }
echo "$xpng"
echo "$x2png"

# The LV2 panel embedded by jalv.gtk3 (through suil), on a private JACK server and display.
cmake --build "$linux" -j2 --target vela_lv2_bundle vela_lv2_jalv_tests >/dev/null
lpng="$linux/artifacts/panel-lv2.png"
rm -f "$lpng"
VELA_LV2_PANEL_PNG="$lpng" "$root/scripts/x11-test.sh" "$linux/bin/vela_lv2_jalv_tests" \
  --gtest_filter='Lv2Jalv.Gtk3EmbedsThePanel' >/dev/null
[ -f "$lpng" ] || { echo "no LV2 screenshot was written" >&2; exit 1; }
echo "$lpng"

build="$(realpath -m "${1:-$root/build/win32}")"
if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/win32" ]; then
    cmake --preset win32 -S "$root" >/dev/null
  else
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
fi
cmake --build "$build" -j2 --target VelaOrin vela_host_tests >/dev/null
png="$build/artifacts/panel.png"
rm -f "$png"
# The test writes ..\artifacts\panel.png relative to the bin folder it runs in.
(cd "$build/bin" && "$root/scripts/wine-gui-test.sh" ./vela_host_tests.exe \
  --gtest_filter='Win32PanelPicture.*' >/dev/null)
[ -f "$png" ] || { echo "no screenshot was written" >&2; exit 1; }
echo "$png"
