// The product logo as a Windows bitmap for Image1.
#pragma once

#include <windows.h>

namespace velawin {

// A new 8-bit DIB section with a 256-colour palette; the caller deletes it. `background` fills
// everything the artwork leaves.
HBITMAP createLogoBitmap(COLORREF background);

}  // namespace velawin
