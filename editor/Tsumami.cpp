#include "Tsumami.h"

#include <algorithm>

#include "EditorMath.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int32_t kCentre = 50;
constexpr int32_t kStepsPerHalfTurn = 65;  // one position turns the pointer by pi / 65

// sin and cos of j * pi / 65 by their series, for j = 0..32 (arguments up to 1.55). Plain double
// arithmetic in a fixed order, so every build gets the same bits; the platform's maths library
// plays no part.
struct SinCos {
  double sin;
  double cos;
};

SinCos sinCosOfSteps(int32_t j) {
  const double x = static_cast<double>(j) * kPi / static_cast<double>(kStepsPerHalfTurn);
  const double x2 = x * x;
  double sinTerm = x;
  double cosTerm = 1.0;
  double sinSum = sinTerm;
  double cosSum = cosTerm;
  // 14 further terms: the last one is below 1e-20 at x = 1.55.
  for (int32_t k = 1; k <= 14; ++k) {
    const auto twoK = static_cast<double>(2 * k);
    cosTerm = -cosTerm * x2 / ((twoK - 1.0) * twoK);
    sinTerm = -sinTerm * x2 / (twoK * (twoK + 1.0));
    cosSum += cosTerm;
    sinSum += sinTerm;
  }
  return {sinSum, cosSum};
}

// sin and cos of i * pi / 65 for i = 0..65, folding i above 32 onto 65 - i.
SinCos sinCosOfPosition(int32_t i) {
  if (i <= 32) return sinCosOfSteps(i);
  const SinCos mirrored = sinCosOfSteps(kStepsPerHalfTurn - i);
  return {mirrored.sin, -mirrored.cos};
}

struct DirectionTables {
  std::array<float, kKnobTableSize> dy;
  std::array<float, kKnobTableSize> dx;
};

// theta = pi/2 - i*pi/65 is carried as its complement a = i*pi/65: sin theta = cos a and
// cos theta = sin a. A theta rounded to double would leave a 6e-17 residue at the centre.
DirectionTables buildDirectionTables() {
  DirectionTables tables{};
  for (int32_t i = 0; i <= kCentre; ++i) {
    const SinCos a = sinCosOfPosition(i);
    const auto dy = static_cast<float>(-a.cos);  // -sin theta
    tables.dy[kCentre + i] = dy;
    tables.dy[kCentre - i] = dy;
    const auto dx = static_cast<float>(a.sin);  // cos theta
    tables.dx[kCentre + i] = dx;
    tables.dx[kCentre - i] = -dx;  // at i = 0 this overwrites the store above
  }
  return tables;
}

KnobFigure line(KnobColour pen, KnobPoint from, KnobPoint to) {
  return {KnobFigureKind::Line, pen, KnobColour::Black, from, to, {0, 0}, {0, 0}};
}

}  // namespace

TTsumami::TTsumami()
    : pointerDy(buildDirectionTables().dy), pointerDx(buildDirectionTables().dx) {
  SetPosition(50);
}

void TTsumami::SetPosition(int32_t value) {
  position = value;
  if (nativeWindow != nullptr) nativeWindow->invalidate();
  if (OnChange) OnChange(*this);
}

void TTsumami::MouseDown(KnobPoint cursor) {
  if (nativeWindow != nullptr) nativeWindow->captureMouse();
  const bool starts = !dragging;
  dragging = true;
  dragOrigin = cursor;
  dragStartPosition = position;
  if (starts && OnDragStart) OnDragStart(*this);
}

void TTsumami::MouseMove(KnobPoint cursor) {
  if (!dragging) return;
  dragPoint = cursor;
  // Two pixels per step; right and up increase. Each half rounds on its own, ties to even.
  const int64_t across = roundTiesEven((static_cast<double>(dragPoint.x) - dragOrigin.x) * 0.5);
  const int64_t upward = roundTiesEven((static_cast<double>(dragOrigin.y) - dragPoint.y) * 0.5);
  const int64_t target = std::clamp<int64_t>(across + upward + dragStartPosition, 0, 100);
  SetPosition(static_cast<int32_t>(target));
}

void TTsumami::MouseUp() {
  if (nativeWindow != nullptr) nativeWindow->releaseMouse();
  const bool ends = dragging;
  dragging = false;
  if (ends && OnDragEnd) OnDragEnd(*this);
}

std::array<KnobFigure, kKnobFigureCount> TTsumami::paintFigures(int32_t width,
                                                                int32_t height) const {
  const double w = width;
  const double h = height;
  // The tables end at 0 and 100; a position set from outside beyond them draws as the end.
  const auto p = static_cast<size_t>(std::clamp(position, 0, kKnobTableSize - 1));
  const double dx = pointerDx[p];
  const double dy = pointerDy[p];
  const int32_t cx = roundTiesEven(w * 0.5);
  const int32_t cy = roundTiesEven(h * 0.5);
  const KnobPoint upperRight{4 * (width / 5), height / 5};
  const KnobPoint lowerLeft{width / 5, 4 * (height / 5)};
  const KnobPoint rimFrom{4, 4};
  const KnobPoint rimTo{width - 6, height - 6};

  // Pointer stroke from (x0, y0), reaching `reachW` x `reachH` across the knob.
  auto stroke = [&](KnobColour pen, int32_t x0, int32_t y0, double reachW, double reachH) {
    return line(pen, {x0, y0},
                {x0 + roundTiesEven(reachW * dx * 0.5), y0 + roundTiesEven(reachH * dy * 0.5)});
  };
  auto mark = [&](int32_t k) {
    const double mdx = pointerDx[static_cast<size_t>(k)];
    const double mdy = pointerDy[static_cast<size_t>(k)];
    return line(KnobColour::Black,
                {roundTiesEven((w - 6.0) * mdx * 0.5 + w * 0.5) - 1,
                 roundTiesEven((h - 6.0) * mdy * 0.5 + h * 0.5) - 1},
                {roundTiesEven(w * mdx * 0.5 + w * 0.5), roundTiesEven(h * mdy * 0.5 + h * 0.5)});
  };

  return {{
      {KnobFigureKind::Ellipse, KnobColour::Black, KnobColour::ButtonFace, {2, 2},
       {width - 4, height - 4}, {0, 0}, {0, 0}},
      {KnobFigureKind::Arc, KnobColour::ButtonHighlight, KnobColour::Black, rimFrom, rimTo,
       upperRight, lowerLeft},
      {KnobFigureKind::Arc, KnobColour::ButtonShadow, KnobColour::Black, rimFrom, rimTo, lowerLeft,
       upperRight},
      stroke(KnobColour::ButtonShadow, cx, cy, w - 2.0, h - 2.0),
      stroke(KnobColour::ButtonHighlight, cx - 2, cy - 2, w - 2.0, h - 2.0),
      stroke(KnobColour::Black, cx - 1, cy - 1, w - 4.0, h - 4.0),
      mark(100),
      mark(50),
      mark(0),
  }};
}
