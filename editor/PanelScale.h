// The panel's scale: the one size rule, where the scale comes from, how window pixels map back
// to panel units, the user's choice as its file holds it and the menu that sets it. Portable;
// the Linux panel draws at any scale, the Windows panel stays at 1 (Windows hosts stretch plug-in
// windows by their own DPI handling).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velapanel {

constexpr double kMinScale = 1.0;
constexpr double kMaxScale = 3.0;
// Xft.dpi of a screen the designed panel was drawn for.
constexpr double kDesignedDpi = 96.0;

struct PanelSize {
  int32_t width, height;
  friend bool operator==(const PanelSize&, const PanelSize&) = default;
};

// A word on the scale clamped to 1..3; anything but a positive finite number is no word (0).
double clampScale(double scale);
// The window at scale s: lround(481 s) x lround(281 s), s clamped first.
PanelSize scaledPanelSize(double scale);

// What the host says about the scale; 0 where it says nothing. A binding word comes from a host
// whose window cannot follow the panel (the player's --scale): it wins over the user's choice.
struct HostScale {
  double scale = 0.0;
  bool binding = false;
  friend bool operator==(const HostScale&, const HostScale&) = default;
};

// First match wins: a binding host word, the user's choice (0: Automatic), the host's word, the
// screen's, 1.
double resolveScale(double userChoice, HostScale host, double screen);
// The screen's word from its Xft.dpi; 0 when that is not a positive finite number.
double screenScaleFromDpi(double dpi);

// The panel unit under a window pixel at `scale`: the unit whose area holds the pixel's centre.
// Any pixel, also beyond the window (a drag that left it).
int32_t toPanelUnits(int32_t pixel, double scale);

// The user's choice file: one line "scale=1.5" or "scale=auto". The parsed choice, 0 for auto;
// none when the text is anything else (a damaged file).
std::optional<double> parseScaleChoice(std::string_view text);
std::string formatScaleChoice(double choice);

// The panel's own menu, opened by a right-click on its background.
struct ScaleMenuEntry {
  const char* label;
  double choice;  // 0: Automatic
};
inline constexpr std::array<ScaleMenuEntry, 7> kScaleMenu = {{
    {"100 %", 1.0},
    {"125 %", 1.25},
    {"150 %", 1.5},
    {"200 %", 2.0},
    {"250 %", 2.5},
    {"300 %", 3.0},
    {"Automatic", 0.0},
}};
// The entry that shows `choice` as current; -1 for a choice the menu does not list.
int32_t scaleMenuEntryOf(double choice);

}  // namespace velapanel
