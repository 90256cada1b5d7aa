// The Linux panel's drawing, rendered offscreen into a cairo image: no X server involved.
#if !defined(_WIN32)
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "PanelPainter.h"
#include "PanelScale.h"

namespace {

using velapanel::PanelBox;
using velax11::PanelView;

class Picture {
 public:
  Picture(int32_t w, int32_t h) : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h)) {
    cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0xF0 / 255.0, 0xF0 / 255.0, 0xF0 / 255.0);
    cairo_paint(cr);
  }
  ~Picture() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  uint32_t at(int32_t x, int32_t y) {
    cairo_surface_flush(surface);
    const unsigned char* rows = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const uint32_t*>(rows + y * stride)[x] & 0xFFFFFF;
  }
  // Bounding box of the pixels inside `area` that satisfy `pick`; width 0 when there are none.
  PanelBox inkBox(PanelBox area, const std::function<bool(uint32_t)>& pick) {
    int32_t l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
    for (int32_t y = area.top; y < area.top + area.height; ++y)
      for (int32_t x = area.left; x < area.left + area.width; ++x)
        if (pick(at(x, y))) {
          l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
        }
    if (r < l) return {0, 0, 0, 0};
    return {l, t, r - l + 1, b - t + 1};
  }

  cairo_surface_t* surface;
  cairo_t* cr;
};

bool isBlack(uint32_t c) { return c == 0; }
bool isThumbEdge(uint32_t c) { return c == velax11::kDarkShadowColour; }
bool isBlueInk(uint32_t c) { return static_cast<int>(c & 0xFF) - static_cast<int>(c >> 16) > 30; }

PanelBox grow(PanelBox b, int32_t dx, int32_t dy) {
  return {b.left - dx, b.top - dy, b.width + 2 * dx, b.height + 2 * dy};
}

// Pixels of the knob's worked values: the pointer and marks are exact; a line leaves out its end.
TEST(X11PanelPaint, KnobPointerAndMarksAtTheWorkedValues) {
  constexpr uint32_t black = velax11::kBlackColour, face = velax11::kFaceColour;
  constexpr uint32_t shadow = velax11::kShadowColour, light = velax11::kHighlightColour;
  struct Pixel {
    int32_t size, position, x, y;
    uint32_t colour;
  };
  const Pixel pixels[] = {
      {25, 50, 11, 2, black},   {25, 50, 11, 9, black},  {25, 50, 12, 6, shadow},
      {25, 50, 10, 6, light},   {25, 50, 11, 1, face},   // black stroke ends short of (11, 1)
      {25, 0, 11, 11, black},   {25, 0, 5, 19, black},   {25, 0, 18, 19, black},
      {25, 100, 11, 11, black}, {25, 100, 19, 20, black}, {33, 0, 7, 26, black},
      {33, 0, 6, 29, face},     {33, 0, 24, 26, black},  {33, 50, 15, 2, black},
      {33, 50, 15, 1, face},    {33, 50, 16, 5, shadow}, {33, 50, 14, 5, light},
  };
  for (const Pixel& p : pixels) {
    SCOPED_TRACE(testing::Message() << p.size << "x" << p.size << " at " << p.position << ": ("
                                    << p.x << ", " << p.y << ")");
    TTsumami knob;
    knob.SetPosition(p.position);
    Picture picture(p.size, p.size);
    velax11::paintKnob(picture.cr, knob, {0, 0, p.size, p.size});
    EXPECT_EQ(picture.at(p.x, p.y), p.colour) << std::hex << picture.at(p.x, p.y);
  }
}

TEST(X11PanelPaint, SliderThumbsSitAtTheirPositions) {
  struct Case {
    int32_t trackBar, position;
    double where;  // expected thumb centre as a fraction of the box along the slider
  };
  const Case cases[] = {{1, 0, 0.0}, {1, 24, 1.0}, {1, 12, 0.5}, {5, 0, 0.0}, {5, 50, 1.0},
                        {5, 25, 0.5}, {3, 45, 0.9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "TrackBar" << c.trackBar << " at " << c.position);
    PanelView view;
    view.trackBars[static_cast<size_t>(c.trackBar - 1)] = c.position;
    Picture picture(kPanelWidth, kPanelHeight);
    velax11::paintPanel(picture.cr, view);
    const velax11::TrackBarGeometry g = velax11::trackBarGeometry(c.trackBar);
    const PanelBox thumb = picture.inkBox(g.box, isThumbEdge);
    ASSERT_GT(thumb.width, 0);
    const double centre = g.vertical ? thumb.top + thumb.height / 2.0 - g.box.top
                                     : thumb.left + thumb.width / 2.0 - g.box.left;
    const double length = g.vertical ? g.box.height : g.box.width;
    // The thumb's centre travels the box less a margin of about 12 pixels at either end.
    EXPECT_NEAR(centre, 12 + c.where * (length - 24), 3.0);
    if (g.vertical) EXPECT_EQ(thumb.height, 9); else EXPECT_EQ(thumb.width, 11);
  }
}

TEST(X11PanelPaint, CheckBoxesAndTheRadioGroupShowTheirState) {
  PanelView view;
  view.checks = {true, false};
  view.radio = 2;
  Picture picture(kPanelWidth, kPanelHeight);
  velax11::paintPanel(picture.cr, view);
  for (int32_t n = 1; n <= 2; ++n) {
    const PanelBox b = velax11::checkBoxBox(n);
    const PanelBox square{b.left, b.top, 13, b.height};
    EXPECT_EQ(picture.inkBox(square, isBlack).width > 0, n == 1) << "CheckBox" << n;
  }
  for (int32_t i = 0; i < 3; ++i) {
    const PanelBox b = velax11::radioItemBox(i);
    const PanelBox circle{b.left, b.top, 13, b.height};
    EXPECT_EQ(picture.inkBox(circle, isBlack).width > 0, i == 2) << "item " << i;
  }
}

// Every caption's ink lies inside its designed box, none spills out (the font size is chosen for
// this), and there is ink at all (the font was found).
TEST(X11PanelPaint, CaptionsFitTheirBoxes) {
  Picture picture(kPanelWidth, kPanelHeight);
  velax11::paintPanel(picture.cr, PanelView{});
  struct Caption {
    std::string name;
    PanelBox box;
    int32_t margin;  // how far above and below to look: radio items sit under the group caption
  };
  std::vector<Caption> captions;
  for (const auto& entry : velapanel::panelLayout()) {
    using K = velapanel::ControlKind;
    if (entry.kind == K::Label || entry.kind == K::BottomLabel || entry.kind == K::CheckBox)
      captions.push_back({entry.name, velapanel::boxOnPanel(entry), 3});
  }
  for (int32_t i = 0; i < 3; ++i)
    captions.push_back({"radio item " + std::to_string(i), velax11::radioItemBox(i), 0});
  for (const auto& [name, box, margin] : captions) {
    SCOPED_TRACE(name);
    const PanelBox ink = picture.inkBox(grow(box, 5, margin), isBlueInk);
    ASSERT_GT(ink.width, 0);
    EXPECT_GE(ink.left, box.left);
    EXPECT_GE(ink.top, box.top);
    EXPECT_LE(ink.left + ink.width, box.left + box.width);
    EXPECT_LE(ink.top + ink.height, box.top + box.height);
  }
}

// The whole panel with every kind of control away from its designed place, at `scale`.
void paintMoved(Picture& picture, double scale) {
  std::array<TTsumami, kKnobCount> knobs;
  PanelView view;
  for (size_t i = 0; i < knobs.size(); ++i) {
    knobs[i].SetPosition(static_cast<int32_t>(20 * i + 7));
    view.knobs[i] = &knobs[i];
  }
  view.trackBars = {3, 20, 10, 40, 5, 50};
  view.radio = 1;
  view.checks = {false, true};
  velax11::paintPanel(picture.cr, view, scale);
}

int channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// At 200 % the panel is the same picture: reduced 2:1 (each 2 x 2 block averaged) it differs
// from the 100 % one by little on average. Measured 2.4 per channel (of 255): the text is drawn
// anew at its size, the curves and knob strokes are smoothed.
TEST(X11PanelPaint, TwiceTheScaleReducedTwoToOneIsTheSamePicture) {
  Picture one(kPanelWidth, kPanelHeight), two(2 * kPanelWidth, 2 * kPanelHeight);
  paintMoved(one, 1.0);
  paintMoved(two, 2.0);
  double difference = 0.0;
  for (int32_t y = 0; y < kPanelHeight; ++y)
    for (int32_t x = 0; x < kPanelWidth; ++x)
      for (const int shift : {0, 8, 16}) {
        const int sum =
            channel(two.at(2 * x, 2 * y), shift) + channel(two.at(2 * x + 1, 2 * y), shift) +
            channel(two.at(2 * x, 2 * y + 1), shift) + channel(two.at(2 * x + 1, 2 * y + 1), shift);
        difference += std::abs(sum / 4.0 - channel(one.at(x, y), shift));
      }
  difference /= 3.0 * kPanelWidth * kPanelHeight;
  RecordProperty("mean_difference_per_channel", std::to_string(difference));
  EXPECT_LT(difference, 4.0);
  EXPECT_GT(difference, 0.0) << "not the 100 % picture enlarged";
}

// Text and the logo are drawn at the scaled size, not the 100 % pixels enlarged: at 200 % an
// enlarged picture would be made of uniform 2 x 2 blocks; drawn anew, nearly every block with ink
// is not (measured: all of the captions', 97 % of the logo's). And each caption's ink is twice as
// large, to a pixel or two.
TEST(X11PanelPaint, TextAndLogoAreDrawnAtTheScaledSize) {
  Picture one(kPanelWidth, kPanelHeight), two(2 * kPanelWidth, 2 * kPanelHeight);
  paintMoved(one, 1.0);
  paintMoved(two, 2.0);
  struct Area {
    const char* name;
    PanelBox box;
  };
  std::vector<Area> areas = {{"logo", velapanel::boxOnPanel(*velapanel::findControl("Image1"))}};
  for (const char* label : {"Label1", "Label3", "Label6", "Label9"})
    areas.push_back({label, velapanel::boxOnPanel(*velapanel::findControl(label))});
  for (const Area& area : areas) {
    SCOPED_TRACE(area.name);
    const PanelBox b = area.box;
    int inked = 0, uneven = 0;
    for (int32_t y = b.top; y < b.top + b.height; ++y)
      for (int32_t x = b.left; x < b.left + b.width; ++x) {
        const uint32_t block[4] = {two.at(2 * x, 2 * y), two.at(2 * x + 1, 2 * y),
                                   two.at(2 * x, 2 * y + 1), two.at(2 * x + 1, 2 * y + 1)};
        if (std::all_of(block, block + 4, [](uint32_t c) { return c == velax11::kFaceColour; }))
          continue;
        ++inked;
        uneven += std::any_of(block, block + 4, [&](uint32_t c) { return c != block[0]; });
      }
    ASSERT_GT(inked, 20);
    EXPECT_GT(uneven, inked * 3 / 4) << uneven << " of " << inked << " inked blocks";
    if (std::string(area.name) == "logo") continue;
    const PanelBox small = one.inkBox(grow(b, 5, 3), isBlueInk);
    const PanelBox large = two.inkBox({2 * (b.left - 5), 2 * (b.top - 3), 2 * (b.width + 10),
                                       2 * (b.height + 6)},
                                      isBlueInk);
    EXPECT_NEAR(large.width, 2 * small.width, 2);
    EXPECT_NEAR(large.height, 2 * small.height, 2);
  }
}

}  // namespace
#endif
