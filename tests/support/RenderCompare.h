// A song as timed MIDI and parameter points, and the comparison of two renders of it to the bit:
// for the tests that play the same song through two plug-in formats.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

struct TimedMidi {
  int64_t frame;
  uint8_t status, data1, data2;
};
struct Automation {
  int64_t frame;
  int32_t index;
  float value;
};
struct Song {
  int64_t length;
  std::vector<TimedMidi> midi;         // in frame order
  std::vector<Automation> automation;  // in frame order
};
using Render = std::vector<float>;  // left, then right

// The first differing sample (left, then right), 0 when the lengths differ, or -1.
inline int64_t firstDifference(const Render& a, const Render& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i]))
      return static_cast<int64_t>(i);
  return -1;
}

inline float peakOf(const Render& r) {
  float peak = 0.0f;
  for (float v : r) peak = std::max(peak, std::fabs(v));
  return peak;
}
