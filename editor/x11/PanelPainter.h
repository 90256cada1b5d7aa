// The Linux panel's drawing and hit geometry, with cairo only (no X server needed), so the same
// code paints the window and offscreen images.
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

// What the panel shows; knobs by reference because they draw themselves from their figures.
struct PanelView {
  std::array<int32_t, kTrackBarCount> trackBars = kTrackBarDesigned;
  int32_t radio = kRadioDesigned;
  std::array<bool, kCheckBoxCount> checks = kCheckBoxDesigned;
  std::array<const TTsumami*, kKnobCount> knobs{};
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

// Paints the whole panel at (0, 0) in panel pixels.
void paintPanel(cairo_t* cr, const PanelView& view);
// Paints one knob's figures into `box` (exposed for its pixel tests).
void paintKnob(cairo_t* cr, const TTsumami& knob, PanelBox box);

}  // namespace velax11
