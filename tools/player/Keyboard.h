// The on-screen keyboard's geometry and the computer-keyboard layout, free of any window system
// so they can be checked directly.
#pragma once

#include <cstdint>

namespace keyboard {

constexpr int kKeys = 18;         // one octave and a half: C up to the F above the next C
constexpr int kWhiteKeys = 11;
constexpr int kLowestBase = 0;    // C-1
constexpr int kHighestBase = 108; // C8
constexpr int kDefaultBase = 48;  // C3

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
};

bool isBlack(int key);
// Key `key` (0..kKeys-1) of a keyboard drawn in a `width` × `height` area at the origin.
Rect keyRect(int key, int width, int height);
// The key under a point, black keys first since they lie on top; -1 for none.
int keyAt(int x, int y, int width, int height);

// Semitone offset from the base note for an X keysym, -1 for keys that play nothing. The lower
// row (Z S X D C V G B H N J M , L . ; /) starts at the base, the upper row (Q 2 W 3 E R 5 T 6 Y
// 7 U I 9 O 0 P [ = ]) an octave above it.
int offsetForKeysym(unsigned long keysym);

}  // namespace keyboard
