#include "PanelPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "LogoPixels.h"
#include "PanelScale.h"

namespace velax11 {

using velapanel::ControlKind;
using velapanel::ControlLayout;

namespace {

constexpr int32_t kCaptionLine = 6;  // a group's frame runs through the middle of its caption
constexpr int32_t kBaseline = 10;    // from the top of a text line to its baseline
constexpr int32_t kMemoLineHeight = 13;
constexpr int32_t kCheckSize = 13;

void setColour(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       (rgb & 0xFF) / 255.0);
}

void fill(cairo_t* cr, uint32_t rgb, int32_t x, int32_t y, int32_t w, int32_t h) {
  setColour(cr, rgb);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

// A one-pixel line that leaves out its end point, as the knob's figures expect.
void pixelLine(cairo_t* cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int32_t err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    cairo_rectangle(cr, x0, y0, 1, 1);
    const int32_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  cairo_fill(cr);
}

// At scales other than 1 a pixel-exact line would be a staircase of large steps: the same line
// as a smooth stroke one unit wide, covering the same run of units (the end one left out).
void smoothLine(cairo_t* cr, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double length = std::hypot(dx, dy);
  if (length == 0.0) return;
  const double backX = 0.5 * dx / length, backY = 0.5 * dy / length;
  cairo_new_path(cr);
  cairo_move_to(cr, x0 + 0.5 - backX, y0 + 0.5 - backY);
  cairo_line_to(cr, x1 + 0.5 - backX, y1 + 0.5 - backY);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_stroke(cr);
}

// Curves (circles, the knobs) are smoothed at scales other than 1; straight edges stay crisp.
cairo_antialias_t curveAntialias(double scale) {
  return scale == 1.0 ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_GRAY;
}

// Two-pixel sunken edge around a white field (memo, check box).
void sunkenField(cairo_t* cr, PanelBox b) {
  fill(cr, kShadowColour, b.left, b.top, b.width - 1, 1);
  fill(cr, kShadowColour, b.left, b.top, 1, b.height - 1);
  fill(cr, kHighlightColour, b.left, b.top + b.height - 1, b.width, 1);
  fill(cr, kHighlightColour, b.left + b.width - 1, b.top, 1, b.height);
  fill(cr, kDarkShadowColour, b.left + 1, b.top + 1, b.width - 3, 1);
  fill(cr, kDarkShadowColour, b.left + 1, b.top + 1, 1, b.height - 3);
  fill(cr, kFaceColour, b.left + 1, b.top + b.height - 2, b.width - 2, 1);
  fill(cr, kFaceColour, b.left + b.width - 2, b.top + 1, 1, b.height - 2);
  fill(cr, kWindowColour, b.left + 2, b.top + 2, b.width - 4, b.height - 4);
}

std::string narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out.push_back(static_cast<char>(*text));
  return out;  // every caption is plain ASCII
}

void text(cairo_t* cr, const std::string& s, int32_t x, int32_t baseline, uint32_t rgb = kTextColour) {
  setColour(cr, rgb);
  cairo_move_to(cr, x, baseline);
  cairo_show_text(cr, s.c_str());
}

double textWidth(cairo_t* cr, const std::string& s) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, s.c_str(), &extents);
  return extents.x_advance;
}

void groupBox(cairo_t* cr, PanelBox b, const std::string& caption, bool flat) {
  const int32_t top = b.top + kCaptionLine;
  const int32_t h = b.height - kCaptionLine;
  if (flat) {
    setColour(cr, kShadowColour);
    cairo_rectangle(cr, b.left + 0.5, top + 0.5, b.width - 1, h - 1);
    cairo_stroke(cr);
  } else {
    setColour(cr, kHighlightColour);
    cairo_rectangle(cr, b.left + 1.5, top + 1.5, b.width - 2, h - 2);
    cairo_stroke(cr);
    setColour(cr, kShadowColour);
    cairo_rectangle(cr, b.left + 0.5, top + 0.5, b.width - 2, h - 2);
    cairo_stroke(cr);
  }
  if (caption.empty()) return;
  const auto width = static_cast<int32_t>(std::ceil(textWidth(cr, caption)));
  fill(cr, kFaceColour, b.left + 6, b.top, width + 4, 2 * kCaptionLine);
  text(cr, caption, b.left + 8, b.top + kBaseline);
}

void trackBar(cairo_t* cr, const TrackBarGeometry& g, int32_t position) {
  const PanelBox& b = g.box;
  const int32_t tickEvery = g.vertical ? 5 : 3;
  setColour(cr, kBlackColour);
  for (int32_t p = 0; p <= g.max; p += tickEvery) {
    const int32_t c = g.thumbCentre(p);
    if (g.vertical) {
      cairo_rectangle(cr, b.left + 4, c, 3, 1);
      cairo_rectangle(cr, b.left + 26, c, 3, 1);
    } else {
      cairo_rectangle(cr, c, b.top + 2, 1, 4);
    }
  }
  cairo_fill(cr);

  // The channel: a sunken groove along the thumb's path.
  const PanelBox channel = g.vertical ? PanelBox{b.left + 15, g.first - 6, 4, g.last - g.first + 12}
                                      : PanelBox{g.first - 6, b.top + 18, g.last - g.first + 12, 4};
  fill(cr, kShadowColour, channel.left, channel.top, channel.width, channel.height);
  fill(cr, kHighlightColour, channel.left + 1, channel.top + 1, channel.width - 1,
       channel.height - 1);
  fill(cr, kFaceColour, channel.left + 1, channel.top + 1, channel.width - 2, channel.height - 2);

  const PanelBox t = g.thumb(position);
  const double l = t.left + 0.5, r = t.left + t.width - 0.5;
  const double top = t.top + 0.5, bottom = t.top + t.height - 0.5;
  cairo_new_path(cr);
  if (g.vertical) {
    cairo_rectangle(cr, l, top, r - l, bottom - top);
  } else {
    // Pointed towards the ticks above.
    const double shoulder = top + 5;
    cairo_move_to(cr, l, bottom);
    cairo_line_to(cr, l, shoulder);
    cairo_line_to(cr, (l + r) / 2, top);
    cairo_line_to(cr, r, shoulder);
    cairo_line_to(cr, r, bottom);
    cairo_close_path(cr);
  }
  setColour(cr, kFaceColour);
  cairo_fill_preserve(cr);
  setColour(cr, kDarkShadowColour);
  cairo_stroke(cr);
  fill(cr, kHighlightColour, t.left + 1, t.top + t.height - 2 - (g.vertical ? t.height - 4 : 11),
       t.width - 2, 1);
}

void checkBox(cairo_t* cr, PanelBox b, const std::string& caption, bool checked) {
  const PanelBox square{b.left, b.top + (b.height - kCheckSize) / 2, kCheckSize, kCheckSize};
  sunkenField(cr, square);
  if (checked) {
    setColour(cr, kBlackColour);
    for (int32_t dy = 0; dy < 3; ++dy) {
      pixelLine(cr, square.left + 3, square.top + 5 + dy, square.left + 6, square.top + 8 + dy);
      pixelLine(cr, square.left + 6, square.top + 8 + dy, square.left + 11, square.top + 3 + dy);
    }
  }
  text(cr, caption, b.left + kCheckSize + 4, b.top + (b.height + kBaseline) / 2 - 1);
}

void radioItem(cairo_t* cr, PanelBox b, const std::string& caption, bool selected, double scale) {
  const double cx = b.left + 6.5, cy = b.top + b.height / 2 + 0.5;
  cairo_save(cr);
  cairo_set_antialias(cr, curveAntialias(scale));
  cairo_new_path(cr);
  cairo_arc(cr, cx, cy, 5.5, 0, 2 * M_PI);
  setColour(cr, kWindowColour);
  cairo_fill_preserve(cr);
  setColour(cr, kDarkShadowColour);
  cairo_stroke(cr);
  if (selected) {
    cairo_arc(cr, cx, cy, 2.5, 0, 2 * M_PI);
    setColour(cr, kBlackColour);
    cairo_fill(cr);
  }
  cairo_restore(cr);
  text(cr, caption, b.left + 17, b.top + (b.height + kBaseline) / 2 - 1);
}

void memo(cairo_t* cr, PanelBox b) {
  sunkenField(cr, b);
  const std::string all = narrow(velapanel::kMemoText);
  int32_t baseline = b.top + 2 + kBaseline + 1;
  size_t start = 0;
  while (start <= all.size()) {
    const size_t end = std::min(all.find("\r\n", start), all.size());
    text(cr, all.substr(start, end - start), b.left + 4, baseline);
    baseline += kMemoLineHeight;
    start = end + 2;
  }
}

// The logo from the box's top-left corner, cut at the box's edge. At 1 it is copied pixel for
// pixel; larger it is resampled smoothly, its edge pixels repeated outwards rather than blended
// with nothing.
void logo(cairo_t* cr, PanelBox b) {
  using namespace velapanel;
  static const std::vector<uint32_t> pixels = [] {
    const std::vector<uint8_t> indices = logoIndices();
    const LogoRgb face{(kFaceColour >> 16) & 0xFF, (kFaceColour >> 8) & 0xFF, kFaceColour & 0xFF};
    std::vector<uint32_t> out(indices.size());
    for (size_t i = 0; i < indices.size(); ++i) {
      const LogoRgb c = logoColour(indices[i], face);
      out[i] = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
    }
    return out;
  }();
  cairo_surface_t* image = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pixels.data())), CAIRO_FORMAT_RGB24,
      kLogoWidth, kLogoHeight, kLogoWidth * 4);
  cairo_save(cr);
  cairo_rectangle(cr, b.left, b.top, b.width, b.height);
  cairo_clip(cr);
  cairo_set_source_surface(cr, image, b.left, b.top);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(image);
}

uint32_t knobColour(KnobColour c) {
  switch (c) {
    case KnobColour::Black: return kBlackColour;
    case KnobColour::ButtonFace: return kFaceColour;
    case KnobColour::ButtonHighlight: return kHighlightColour;
    case KnobColour::ButtonShadow: return kShadowColour;
  }
  return kBlackColour;
}

// The ellipse inscribed in from..to (to exclusive) with a one-pixel pen inside that rectangle.
void ellipsePath(cairo_t* cr, const KnobFigure& f, double startAngle, double endAngle, bool arc) {
  const double cx = (f.from.x + f.to.x) / 2.0, cy = (f.from.y + f.to.y) / 2.0;
  const double rx = (f.to.x - f.from.x) / 2.0 - 0.5, ry = (f.to.y - f.from.y) / 2.0 - 0.5;
  if (rx <= 0 || ry <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_path(cr);
  if (arc)
    cairo_arc_negative(cr, 0, 0, 1, startAngle, endAngle);  // counterclockwise on the screen
  else
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}

double rayAngle(const KnobFigure& f, KnobPoint through) {
  const double cx = (f.from.x + f.to.x) / 2.0, cy = (f.from.y + f.to.y) / 2.0;
  const double rx = std::max(1.0, (f.to.x - f.from.x) / 2.0);
  const double ry = std::max(1.0, (f.to.y - f.from.y) / 2.0);
  return std::atan2((through.y - cy) / ry, (through.x - cx) / rx);
}

}  // namespace

int32_t TrackBarGeometry::thumbCentre(int32_t position) const {
  const int32_t p = std::clamp(position, 0, max);
  return first + ((last - first) * 2 * p + max) / (2 * max);
}

PanelBox TrackBarGeometry::thumb(int32_t position) const {
  const int32_t c = thumbCentre(position);
  if (vertical) return {box.left + 9, c - 4, 15, 9};
  return {c - 5, box.top + 8, 11, 21};
}

int32_t TrackBarGeometry::positionAt(int32_t along) const {
  const int32_t span = last - first;
  const int32_t offset = std::clamp(along - first, 0, span);
  return std::clamp((offset * 2 * max + span) / (2 * span), 0, max);
}

TrackBarGeometry trackBarGeometry(int32_t trackBar) {
  for (const ControlLayout& entry : velapanel::panelLayout()) {
    const bool horizontal = entry.kind == ControlKind::TrackBarHorz;
    if ((!horizontal && entry.kind != ControlKind::TrackBarVert) || entry.number != trackBar)
      continue;
    const PanelBox b = velapanel::boxOnPanel(entry);
    const int32_t max = kTrackBarMax[static_cast<size_t>(trackBar - 1)];
    if (horizontal) return {b, false, max, b.left + 13, b.left + b.width - 14};
    return {b, true, max, b.top + 10, b.top + b.height - 11};
  }
  return {{0, 0, 0, 0}, false, 1, 0, 1};
}

namespace {

PanelBox numberedBox(ControlKind kind, int32_t number) {
  for (const ControlLayout& entry : velapanel::panelLayout())
    if (entry.kind == kind && entry.number == number) return velapanel::boxOnPanel(entry);
  return {0, 0, 0, 0};
}

}  // namespace

PanelBox knobBox(int32_t knob) { return numberedBox(ControlKind::Knob, knob); }
PanelBox checkBoxBox(int32_t box) { return numberedBox(ControlKind::CheckBox, box); }

PanelBox radioItemBox(int32_t item) {
  const ControlLayout* group = velapanel::findControl("RadioGroup1");
  if (group == nullptr) return {0, 0, 0, 0};
  const PanelBox g = velapanel::boxOnPanel(*group);
  const PanelBox inGroup = velapanel::radioItemInGroup(item);
  return {g.left + inGroup.left, g.top + inGroup.top, inGroup.width, inGroup.height};
}

void paintKnob(cairo_t* cr, const TTsumami& knob, PanelBox box, double scale) {
  cairo_save(cr);
  cairo_rectangle(cr, box.left, box.top, box.width, box.height);
  cairo_clip(cr);
  cairo_translate(cr, box.left, box.top);
  cairo_set_antialias(cr, curveAntialias(scale));
  cairo_set_line_width(cr, 1.0);
  for (const KnobFigure& f : knob.paintFigures(box.width, box.height)) {
    switch (f.kind) {
      case KnobFigureKind::Ellipse:
        ellipsePath(cr, f, 0, 0, false);
        setColour(cr, knobColour(f.fill));
        cairo_fill_preserve(cr);
        setColour(cr, knobColour(f.pen));
        cairo_stroke(cr);
        break;
      case KnobFigureKind::Arc:
        ellipsePath(cr, f, rayAngle(f, f.arcStart), rayAngle(f, f.arcEnd), true);
        setColour(cr, knobColour(f.pen));
        cairo_stroke(cr);
        break;
      case KnobFigureKind::Line:
        setColour(cr, knobColour(f.pen));
        if (scale == 1.0)
          pixelLine(cr, f.from.x, f.from.y, f.to.x, f.to.y);
        else
          smoothLine(cr, f.from.x, f.from.y, f.to.x, f.to.y);
        break;
    }
  }
  cairo_restore(cr);
}

bool onControl(int32_t x, int32_t y) {
  for (int32_t n = 1; n <= kKnobCount; ++n)
    if (knobBox(n).contains(x, y)) return true;
  for (int32_t n = 1; n <= kTrackBarCount; ++n)
    if (trackBarGeometry(n).box.contains(x, y)) return true;
  for (int32_t n = 1; n <= kCheckBoxCount; ++n)
    if (checkBoxBox(n).contains(x, y)) return true;
  for (int32_t i = 0; i < kRadioItemCount; ++i)
    if (radioItemBox(i).contains(x, y)) return true;
  return false;
}

PanelBox scaleMenuBox(int32_t x, int32_t y) {
  constexpr auto kEntries = static_cast<int32_t>(velapanel::kScaleMenu.size());
  constexpr int32_t kHeight = 2 * kScaleMenuBorder + kEntries * kScaleMenuItemHeight;
  return {std::clamp(x, 0, kPanelWidth - kScaleMenuWidth), std::clamp(y, 0, kPanelHeight - kHeight),
          kScaleMenuWidth, kHeight};
}

PanelBox scaleMenuItemBox(PanelBox menu, int32_t item) {
  return {menu.left + kScaleMenuBorder, menu.top + kScaleMenuBorder + item * kScaleMenuItemHeight,
          menu.width - 2 * kScaleMenuBorder, kScaleMenuItemHeight};
}

int32_t scaleMenuItemAt(PanelBox menu, int32_t x, int32_t y) {
  for (int32_t i = 0; i < static_cast<int32_t>(velapanel::kScaleMenu.size()); ++i)
    if (scaleMenuItemBox(menu, i).contains(x, y)) return i;
  return -1;
}

namespace {

// A raised box like a button's, the current entry marked with a dot as a radio item is.
void scaleMenu(cairo_t* cr, const ScaleMenuView& menu, double scale) {
  const PanelBox b = menu.box;
  fill(cr, kFaceColour, b.left, b.top, b.width, b.height);
  fill(cr, kHighlightColour, b.left + 1, b.top + 1, b.width - 2, 1);
  fill(cr, kHighlightColour, b.left + 1, b.top + 1, 1, b.height - 2);
  fill(cr, kShadowColour, b.left + 1, b.top + b.height - 2, b.width - 2, 1);
  fill(cr, kShadowColour, b.left + b.width - 2, b.top + 1, 1, b.height - 2);
  fill(cr, kDarkShadowColour, b.left, b.top + b.height - 1, b.width, 1);
  fill(cr, kDarkShadowColour, b.left + b.width - 1, b.top, 1, b.height);
  for (int32_t i = 0; i < static_cast<int32_t>(velapanel::kScaleMenu.size()); ++i) {
    const PanelBox item = scaleMenuItemBox(b, i);
    if (i == menu.hovered) fill(cr, kWindowColour, item.left, item.top, item.width, item.height);
    if (i == menu.marked) {
      cairo_save(cr);
      cairo_set_antialias(cr, curveAntialias(scale));
      cairo_new_path(cr);
      cairo_arc(cr, item.left + 7.5, item.top + item.height / 2.0, 2.5, 0, 2 * M_PI);
      setColour(cr, kBlackColour);
      cairo_fill(cr);
      cairo_restore(cr);
    }
    text(cr, velapanel::kScaleMenu[static_cast<size_t>(i)].label, item.left + 16,
         item.top + (item.height + kBaseline) / 2 - 1);
  }
}

}  // namespace

void paintPanel(cairo_t* cr, const PanelView& view, double scale) {
  cairo_save(cr);
  // The whole window first: lround(481 s) may reach half a pixel beyond the scaled panel.
  const velapanel::PanelSize size = velapanel::scaledPanelSize(scale);
  fill(cr, kFaceColour, 0, 0, size.width, size.height);
  cairo_scale(cr, scale, scale);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kFontSize);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);

  fill(cr, kFaceColour, 0, 0, kPanelWidth, kPanelHeight);
  for (const ControlLayout& entry : velapanel::panelLayout()) {
    const PanelBox b = velapanel::boxOnPanel(entry);
    const std::string caption = narrow(entry.text);
    const auto n = static_cast<size_t>(std::max(entry.number, 1) - 1);
    switch (entry.kind) {
      case ControlKind::GroupBox:
      case ControlKind::FlatGroupBox:
        groupBox(cr, b, caption, entry.kind == ControlKind::FlatGroupBox);
        break;
      case ControlKind::RadioGroup:
        groupBox(cr, b, caption, false);
        for (int32_t i = 0; i < kRadioItemCount; ++i)
          radioItem(cr, radioItemBox(i), narrow(velapanel::kRadioItems[i]), i == view.radio,
                    scale);
        break;
      case ControlKind::TrackBarHorz:
      case ControlKind::TrackBarVert:
        trackBar(cr, trackBarGeometry(entry.number), view.trackBars[n]);
        break;
      case ControlKind::Label: text(cr, caption, b.left, b.top + kBaseline); break;
      case ControlKind::BottomLabel: text(cr, caption, b.left, b.top + b.height - 3); break;
      case ControlKind::CheckBox: checkBox(cr, b, caption, view.checks[n]); break;
      case ControlKind::Knob:
        if (view.knobs[n] != nullptr) paintKnob(cr, *view.knobs[n], b, scale);
        break;
      case ControlKind::Memo: memo(cr, b); break;
      case ControlKind::Image: logo(cr, b); break;
    }
  }
  if (view.menu.open) scaleMenu(cr, view.menu, scale);
  cairo_restore(cr);
}

}  // namespace velax11
