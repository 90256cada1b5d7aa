// The Linux panel's drawing and hit geometry, with cairo only (no X server needed), so the same
// code paints the window and offscreen images. Geometry is in panel units, the designed pixels;
// a scale draws them larger.
#pragma once

#include <cairo.h>

#include <array>
#include <cstdint>

#include "PanelLayout.h"
#include "Unit1.h"

namespace velax11 {

using velapanel::PanelBox;

// Colours of the classic button-face scheme, 0xRRGGBB.
constexpr uint32_t kFaceColour = 0xF0F0F0;
constexpr uint32_t kHighlightColour = 0xFFFFFF;
constexpr uint32_t kShadowColour = 0xA0A0A0;
constexpr uint32_t kDarkShadowColour = 0x696969;
constexpr uint32_t kTextColour = 0x0000FF;
constexpr uint32_t kWindowColour = 0xFFFFFF;
constexpr uint32_t kBlackColour = 0x000000;

// Font for every caption: a size at which each caption fits its designed box.
inline constexpr char kFontFamily[] = "DejaVu Sans";
constexpr double kFontSize = 10.0;

// The scale menu over the panel (entries: velapanel::kScaleMenu).
struct ScaleMenuView {
  bool open = false;
  PanelBox box{0, 0, 0, 0};  // from scaleMenuBox
  int32_t marked = -1;       // the current choice
  int32_t hovered = -1;      // the entry under the pointer
};

// What the panel shows; knobs by reference because they draw themselves from their figures.
struct PanelView {
  std::array<int32_t, kTrackBarCount> trackBars = kTrackBarDesigned;
  int32_t radio = kRadioDesigned;
  std::array<bool, kCheckBoxCount> checks = kCheckBoxDesigned;
  std::array<const TTsumami*, kKnobCount> knobs{};
  ScaleMenuView menu;
};

// Slider geometry: where the thumb's centre sits for each position, and the thumb itself.
struct TrackBarGeometry {
  PanelBox box;
  bool vertical;
  int32_t max;
  int32_t first;  // thumb centre (x for horizontal, y for vertical) at position 0
  int32_t last;   // ... at position max
  int32_t thumbCentre(int32_t position) const;
  PanelBox thumb(int32_t position) const;
  // The position whose thumb centre is nearest to `along` (x or y), clamped to the range.
  int32_t positionAt(int32_t along) const;
  int32_t pageStep() const { return vertical ? 1 : 2; }
};

TrackBarGeometry trackBarGeometry(int32_t trackBar);  // 1..6
PanelBox knobBox(int32_t knob);                       // 1..5
PanelBox checkBoxBox(int32_t checkBox);               // 1..2, box and caption
PanelBox radioItemBox(int32_t item);                  // 0..2, circle and caption
// Whether (x, y) lies on a control: what a right-click there must leave alone.
bool onControl(int32_t x, int32_t y);

// The scale menu opened by a right-click at (x, y), and its entry `item` inside it.
PanelBox scaleMenuBox(int32_t x, int32_t y);
PanelBox scaleMenuItemBox(PanelBox menu, int32_t item);
// The entry at (x, y), -1 for none.
int32_t scaleMenuItemAt(PanelBox menu, int32_t x, int32_t y);

// Paints the whole panel at (0, 0), lround(481 s) x lround(281 s) pixels at scale s. At 1 every
// shape is pixel-exact; at other scales curves, the knobs' strokes and the logo are smoothed.
void paintPanel(cairo_t* cr, const PanelView& view, double scale = 1.0);
// Paints one knob's figures into `box` (exposed for its pixel tests); `scale` as above, already
// applied to `cr`.
void paintKnob(cairo_t* cr, const TTsumami& knob, PanelBox box, double scale = 1.0);

}  // namespace velax11
