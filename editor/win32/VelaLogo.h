// The product logo shown by Image1: 90 x 25 pixels, 8 bits per pixel with a 256-colour palette.
#pragma once

#include <windows.h>

namespace velawin {

constexpr int kLogoWidth = 90;
constexpr int kLogoHeight = 25;

// A new DIB section; the caller deletes it. `background` fills everything the artwork leaves.
HBITMAP createLogoBitmap(COLORREF background);

}  // namespace velawin
