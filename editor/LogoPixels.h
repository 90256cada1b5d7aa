// The product logo shown by Image1: 90 x 25 pixels in a 256-colour palette. The artwork is
// computed, not stored, and each platform turns it into its own kind of picture.
#pragma once

#include <cstdint>
#include <vector>

namespace velapanel {

constexpr int kLogoWidth = 90;
constexpr int kLogoHeight = 25;

struct LogoRgb {
  uint8_t r, g, b;
  friend bool operator==(const LogoRgb&, const LogoRgb&) = default;
};

// Palette index of every pixel, rows top-down; index 0 is the background.
std::vector<uint8_t> logoIndices();
// The palette: entries blend from `background` towards blue and black.
LogoRgb logoColour(uint8_t index, LogoRgb background);

}  // namespace velapanel
