#include "Keyboard.h"

#include <X11/keysym.h>

namespace keyboard {
namespace {

// Position of each semitone among the white keys of its octave (for black keys: the white key
// to its left).
constexpr int kWhiteIndex[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};

int whiteIndex(int key) { return key / 12 * 7 + kWhiteIndex[key % 12]; }

}  // namespace

bool isBlack(int key) {
  const int n = key % 12;
  return n == 1 || n == 3 || n == 6 || n == 8 || n == 10;
}

Rect keyRect(int key, int width, int height) {
  const int left = whiteIndex(key) * width / kWhiteKeys;
  const int right = (whiteIndex(key) + 1) * width / kWhiteKeys;
  if (!isBlack(key)) return {left, 0, right - left, height};
  const int blackWidth = (right - left) * 3 / 5;
  return {right - blackWidth / 2, 0, blackWidth, height * 3 / 5};
}

int keyAt(int x, int y, int width, int height) {
  for (int pass = 0; pass < 2; ++pass)
    for (int key = 0; key < kKeys; ++key)
      if (isBlack(key) == (pass == 0) && keyRect(key, width, height).contains(x, y)) return key;
  return -1;
}

int offsetForKeysym(unsigned long keysym) {
  static constexpr unsigned long kLower[] = {XK_z, XK_s, XK_x, XK_d, XK_c, XK_v, XK_g, XK_b, XK_h,
                                             XK_n, XK_j, XK_m, XK_comma, XK_l, XK_period,
                                             XK_semicolon, XK_slash};
  static constexpr unsigned long kUpper[] = {XK_q, XK_2, XK_w, XK_3, XK_e, XK_r, XK_5,
                                             XK_t, XK_6, XK_y, XK_7, XK_u, XK_i, XK_9,
                                             XK_o, XK_0, XK_p, XK_bracketleft, XK_equal,
                                             XK_bracketright};
  if (keysym >= XK_A && keysym <= XK_Z) keysym += XK_a - XK_A;  // Shift or Caps Lock held
  for (int i = 0; i < static_cast<int>(sizeof kLower / sizeof kLower[0]); ++i)
    if (kLower[i] == keysym) return i;
  for (int i = 0; i < static_cast<int>(sizeof kUpper / sizeof kUpper[0]); ++i)
    if (kUpper[i] == keysym) return 12 + i;
  return -1;
}

}  // namespace keyboard
