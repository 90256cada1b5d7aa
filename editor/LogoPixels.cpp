#include "LogoPixels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velapanel {
namespace {

// The artwork is drawn as round-ended strokes in logo pixels and rasterised 4 x 4 times finer,
// so edges get 16 coverage levels that map onto palette ramps.
constexpr int kSub = 4;
constexpr int kLevels = kSub * kSub;
constexpr uint8_t kBlueRamp = 1;                     // palette 1..16: background to blue
constexpr uint8_t kBlackRamp = kBlueRamp + kLevels;  // palette 17..32: background to black

struct Stroke {
  double x0, y0, x1, y1;
};

constexpr double kBaseline = 21.0;
constexpr double kSlant = 0.24;  // italic shear of the word: x moves right as y goes up

void addArc(std::vector<Stroke>& out, double cx, double cy, double rx, double ry, double fromDeg,
            double toDeg) {
  const int steps = 16;
  const double pi = 3.14159265358979323846;
  double px = cx + rx * std::cos(fromDeg * pi / 180.0);
  double py = cy - ry * std::sin(fromDeg * pi / 180.0);
  for (int i = 1; i <= steps; ++i) {
    const double a = (fromDeg + (toDeg - fromDeg) * i / steps) * pi / 180.0;
    const double x = cx + rx * std::cos(a);
    const double y = cy - ry * std::sin(a);
    out.push_back({px, py, x, y});
    px = x;
    py = y;
  }
}

std::vector<Stroke> wordStrokes() {
  std::vector<Stroke> s;
  // V
  s.push_back({2.0, 4.0, 8.5, 20.0});
  s.push_back({8.5, 20.0, 15.0, 4.0});
  // e: crossbar, then the bowl from its right end round to the open lower right
  s.push_back({18.0, 14.5, 27.0, 14.5});
  addArc(s, 22.5, 15.0, 4.5, 5.5, -5.0, 300.0);
  // l
  s.push_back({32.0, 3.0, 32.0, 20.0});
  // a: bowl and stem
  addArc(s, 39.5, 15.0, 4.0, 5.0, 0.0, 360.0);
  s.push_back({43.5, 9.5, 43.5, 20.0});
  for (Stroke& k : s) {
    k.x0 += (kBaseline - k.y0) * kSlant;
    k.x1 += (kBaseline - k.y1) * kSlant;
  }
  return s;
}

std::vector<Stroke> glyphStrokes() {
  // An ideograph-like sign: a dot, a short and a long bar, two feet, and a boxed sun below.
  return {
      {70.0, 1.5, 70.8, 4.0},   {63.0, 6.0, 78.0, 6.0},   {65.5, 7.5, 67.5, 10.5},
      {75.5, 7.5, 73.5, 10.5},  {60.0, 12.0, 81.0, 12.0}, {63.5, 14.5, 63.5, 23.0},
      {77.5, 14.5, 77.5, 23.0}, {63.5, 14.5, 77.5, 14.5}, {63.5, 18.7, 77.5, 18.7},
      {63.5, 23.0, 77.5, 23.0},
  };
}

double segmentDistance(double px, double py, const Stroke& k) {
  const double vx = k.x1 - k.x0, vy = k.y1 - k.y0;
  const double len2 = vx * vx + vy * vy;
  double t = len2 > 0.0 ? ((px - k.x0) * vx + (py - k.y0) * vy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double dx = px - (k.x0 + t * vx), dy = py - (k.y0 + t * vy);
  return std::sqrt(dx * dx + dy * dy);
}

// Number of the 16 sub-samples of each logo pixel inside any stroke of `strokes`.
std::vector<int> coverage(const std::vector<Stroke>& strokes, double halfWidth) {
  std::vector<int> hits(static_cast<size_t>(kLogoWidth * kLogoHeight), 0);
  for (int y = 0; y < kLogoHeight; ++y)
    for (int x = 0; x < kLogoWidth; ++x)
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx) {
          const double px = x + (sx + 0.5) / kSub, py = y + (sy + 0.5) / kSub;
          for (const Stroke& k : strokes)
            if (segmentDistance(px, py, k) <= halfWidth) {
              ++hits[static_cast<size_t>(y * kLogoWidth + x)];
              break;
            }
        }
  return hits;
}

}  // namespace

std::vector<uint8_t> logoIndices() {
  const std::vector<int> blue = coverage(wordStrokes(), 1.55);
  const std::vector<int> black = coverage(glyphStrokes(), 1.05);
  std::vector<uint8_t> indices(blue.size(), 0);
  for (size_t i = 0; i < indices.size(); ++i) {
    if (black[i] > 0)
      indices[i] = static_cast<uint8_t>(kBlackRamp + black[i] - 1);
    else if (blue[i] > 0)
      indices[i] = static_cast<uint8_t>(kBlueRamp + blue[i] - 1);
  }
  return indices;
}

LogoRgb logoColour(uint8_t index, LogoRgb background) {
  auto blend = [&](LogoRgb to, int level) {
    auto mix = [level](int a, int b) {
      return static_cast<uint8_t>((a * (kLevels - level) + b * level + kLevels / 2) / kLevels);
    };
    return LogoRgb{mix(background.r, to.r), mix(background.g, to.g), mix(background.b, to.b)};
  };
  if (index == 0) return background;
  if (index < kBlackRamp) return blend({0, 0, 255}, index - kBlueRamp + 1);
  if (index < kBlackRamp + kLevels) return blend({0, 0, 0}, index - kBlackRamp + 1);
  return {index, index, index};  // unused entries: a grey ramp
}

}  // namespace velapanel
