// The knob's drawing read back from the screen: pointer strokes and scale marks at the pixels the
// worked values put them, in the system colours.
#include "GuiSupport.h"

#include "../../../editor/win32/VelaWindows.h"

namespace {

enum class Ink { Face, Highlight, Shadow, Black };

COLORREF colourOf(Ink ink) {
  switch (ink) {
    case Ink::Face: return GetSysColor(COLOR_BTNFACE);
    case Ink::Highlight: return GetSysColor(COLOR_BTNHIGHLIGHT);
    case Ink::Shadow: return GetSysColor(COLOR_BTNSHADOW);
    case Ink::Black: break;
  }
  return RGB(0, 0, 0);
}

const char* nameOf(Ink ink) {
  switch (ink) {
    case Ink::Face: return "button face";
    case Ink::Highlight: return "highlight";
    case Ink::Shadow: return "shadow";
    case Ink::Black: break;
  }
  return "black";
}

struct Dot {
  int x, y;
  Ink ink;
};

struct Case {
  const char* knob;
  int32_t index;
  float value;
  int position;
  std::vector<Dot> dots;
};

// Pixels chosen away from ties of the line rasteriser and from crossings of later figures.
// Marks at 100, 50 and 0 start at (18,19), (11,2) and (5,19) on a 25 x 25 knob, and at (24,26),
// (15,2) and (7,26) on a 33 x 33 one; the 100 mark runs diagonally.
const std::vector<Dot> kMarks25 = {{18, 19, Ink::Black},
                                   {19, 20, Ink::Black},
                                   {20, 21, Ink::Black},
                                   {11, 2, Ink::Black},
                                   {5, 19, Ink::Black}};
const std::vector<Dot> kMarks33 = {{24, 26, Ink::Black},
                                   {25, 27, Ink::Black},
                                   {26, 28, Ink::Black},
                                   {15, 2, Ink::Black},
                                   {7, 26, Ink::Black}};

std::vector<Dot> with(std::vector<Dot> dots, const std::vector<Dot>& more) {
  dots.insert(dots.end(), more.begin(), more.end());
  return dots;
}

const Case kCases[] = {
    // Straight up: shadow (12,12)->(12,0), highlight (10,10)->(10,-2), black (11,11)->(11,1).
    {"Tsumami1", 2, 0.5f, 50,
     with({{12, 6, Ink::Shadow},
           {12, 12, Ink::Shadow},
           {10, 4, Ink::Highlight},
           {10, 0, Ink::Highlight},
           {11, 6, Ink::Black},
           {8, 16, Ink::Face},
           {0, 0, Ink::Face}},
          kMarks25)},
    // Down-left: shadow ->(4,21), highlight (10,10)->(2,19), black (11,11)->(4,19).
    {"Tsumami1", 2, 0.0f, 0,
     with({{12, 12, Ink::Shadow},
           {10, 10, Ink::Highlight},
           {11, 11, Ink::Black},
           {8, 16, Ink::Shadow},
           {7, 16, Ink::Black},
           {5, 16, Ink::Highlight},
           {11, 13, Ink::Shadow},
           {9, 13, Ink::Black},
           {7, 13, Ink::Highlight},
           {12, 6, Ink::Face}},
          kMarks25)},
    // Down-right: the black stroke (11,11)->(18,19) passes over the shadow stroke's start.
    {"Tsumami1", 2, 1.0f, 100,
     with({{12, 12, Ink::Black},
           {10, 10, Ink::Highlight},
           {11, 11, Ink::Black},
           {8, 16, Ink::Face},
           {12, 6, Ink::Face}},
          kMarks25)},
    // 33 x 33 down-left: shadow (16,16)->(6,28), highlight (14,14)->(4,26), black (15,15)->(5,26).
    {"Tsumami4", 9, 0.0f, 0,
     with({{16, 16, Ink::Shadow},
           {14, 14, Ink::Highlight},
           {15, 15, Ink::Black},
           {13, 20, Ink::Shadow},
           {9, 20, Ink::Highlight},
           {10, 20, Ink::Black}},
          kMarks33)},
    // 33 x 33 straight up: shadow (16,16)->(16,0), highlight (14,14)->(14,-2), black
    // (15,15)->(15,1).
    {"Tsumami4", 9, 0.5f, 50,
     with({{16, 8, Ink::Shadow}, {14, 8, Ink::Highlight}, {15, 8, Ink::Black}, {13, 20, Ink::Face}},
          kMarks33)},
};

using Win32KnobPixels = EditorWindowTest;

TEST_F(Win32KnobPixels, PointerAndMarksMatchTheWorkedValues) {
  ASSERT_EQ(openEditor(host), 1);
  ASSERT_NE(panel, nullptr);
  // The colours under test must be told apart.
  ASSERT_NE(colourOf(Ink::Face), colourOf(Ink::Highlight));
  ASSERT_NE(colourOf(Ink::Face), colourOf(Ink::Shadow));
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.knob) + " at " + std::to_string(c.position));
    hostSets(c.index, c.value);
    waitForTick();
    HWND knob = control(c.knob);
    ASSERT_NE(knob, nullptr);
    ASSERT_EQ(SendMessageW(knob, velawin::TKM_GETPOS, 0, 0), c.position);
    UpdateWindow(knob);
    const Capture shot = captureWindow(knob);
    for (const Dot& d : c.dots)
      EXPECT_EQ(shot.at(d.x, d.y), colourOf(d.ink))
          << "pixel (" << d.x << ", " << d.y << ") should be " << nameOf(d.ink);
  }
}

TEST_F(Win32KnobPixels, BodyIsABlackRimOnButtonFace) {
  ASSERT_EQ(openEditor(host), 1);
  HWND knob = control("Tsumami3");  // 33 x 33, body inscribed in (2,2)-(29,29)
  ASSERT_NE(knob, nullptr);
  waitForTick();
  const Capture shot = captureWindow(knob);
  ASSERT_EQ(shot.width, 33);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  for (int y = 0; y < 33; ++y) EXPECT_EQ(shot.at(32, y), face) << "right edge row " << y;
  EXPECT_EQ(shot.at(1, 15), face) << "left of the rim";
  EXPECT_EQ(shot.at(2, 15), RGB(0, 0, 0)) << "left end of the rim";
  EXPECT_EQ(shot.at(28, 15), RGB(0, 0, 0)) << "right end of the rim";
  EXPECT_EQ(shot.at(29, 15), face) << "the rectangle's right edge is outside the figure";
  // Lit upper-left arc and shaded lower-right arc of the rectangle (4,4)-(27,27).
  EXPECT_EQ(shot.at(4, 15), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(shot.at(26, 15), GetSysColor(COLOR_BTNSHADOW));
}

}  // namespace
