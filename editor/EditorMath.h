// Rounding shared by the knob and the panel.
#pragma once

#include <cmath>
#include <cstdint>

// Nearest integer, ties to even, whatever rounding mode the host left behind (floor and the
// subtraction below are exact). NaN gives 0 and values beyond +-2^30 saturate there, so a wild
// parameter value from a host cannot make the conversion undefined.
inline int32_t roundTiesEven(double value) {
  constexpr double kLimit = 1073741824.0;  // 2^30: far outside every control's range
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return static_cast<int32_t>(kLimit);
  if (value <= -kLimit) return -static_cast<int32_t>(kLimit);
  const double below = std::floor(value);
  const double fraction = value - below;
  auto result = static_cast<int32_t>(below);
  if (fraction > 0.5 || (fraction == 0.5 && (result & 1) != 0)) ++result;
  return result;
}
