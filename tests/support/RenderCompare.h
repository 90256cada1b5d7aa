// A song as timed MIDI and parameter points, and the comparison of two renders of it to the bit:
// for the tests that play the same song through two plug-in formats.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "TestRandom.h"
#include "VelaParameters.h"

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

// What a format can carry of the random song below. LV2 takes the song as it is; the formats
// with timed parameters also take the full bend (LSB), release velocities, a bend at a note-on's
// frame and a second point of a parameter within a block.
struct SongShape {
  bool fineDetail = false;
};

// Random notes on every channel (a third ended by a note-on of velocity 0), bends, the panic
// controllers, and points of every parameter: several at one frame, "FB1"/"FB2" while notes sound
// (they retune), values out of range. Without fine detail each point of a parameter differs from
// the one before it: setting an LV2 port to its current value is no change at all.
inline Song randomSong(int64_t length, uint64_t seed, SongShape shape = {}) {
  Song song{length, {}, {}};
  Random rng{seed};
  for (int64_t t = 3; t < length - 2000;) {
    const auto channel = static_cast<uint8_t>(rng.below(16));
    const auto note = static_cast<uint8_t>(36 + rng.below(48));
    const int64_t duration = 30 + rng.below(9000);
    song.midi.push_back(
        {t, static_cast<uint8_t>(0x90 | channel), note, static_cast<uint8_t>(1 + rng.below(127))});
    if (rng.below(4) == 0) {
      const auto lsb = static_cast<uint8_t>(shape.fineDetail ? rng.below(128) : 0);
      song.midi.push_back({t + duration / 2, static_cast<uint8_t>(0xE0 | channel), lsb,
                           static_cast<uint8_t>(rng.below(128))});
    }
    const auto off = static_cast<uint8_t>((rng.below(3) == 0 ? 0x90 : 0x80) | channel);
    const auto velocity = static_cast<uint8_t>(shape.fineDetail && rng.below(3) != 0 ? 64 : 0);
    song.midi.push_back({t + duration, off, note, velocity});
    t += rng.below(2) == 0 ? duration / 3 : 100 + rng.below(5000);
  }
  for (int controller : {120, 121, 123, 126})
    song.midi.push_back(
        {length * (controller - 100) / 30 + 7, 0xB5, static_cast<uint8_t>(controller), 0});
  if (shape.fineDetail)  // a bend back to the centre at the same frame as a note-on
    song.midi.push_back({song.midi[4].frame, 0xE2, 0, 64});
  std::stable_sort(song.midi.begin(), song.midi.end(),
                   [](auto& a, auto& b) { return a.frame < b.frame; });
  const Automation points[] = {
      {5, kCutOff, 0.7f}, {5, kQ, 0.8f},    {10, kType, 0.5f},  {12, kMod1, 0.75f},
      {12, kFB1, 0.6f},   {18, kM1S, 0.0f}, {22, kMod2, 0.3f},  {25, kFB2, 0.4f},
      {28, kA, 0.3f},     {28, kD, 0.05f},  {28, kS, 0.9f},     {28, kR, 0.02f},
      {35, kType, 1.0f},  {40, kEnv, 0.1f}, {44, kM2S, 0.0f},   {50, kCutOff, 1.7f},
      {55, kQ, -0.2f},    {60, kFB1, 0.0f}, {66, kType, 0.24f}, {70, kMod1, 0.2f},
      {75, kM1S, 0.7f},   {85, kR, 0.3f},   {90, kType, 0.76f},
  };
  for (const Automation& p : points) {
    song.automation.push_back({p.frame * length / 100, p.index, p.value});
    if (shape.fineDetail && p.frame % 10 == 0)  // a second point of it a little later
      song.automation.push_back({p.frame * length / 100 + 37, p.index, p.value * 0.5f});
  }
  std::stable_sort(song.automation.begin(), song.automation.end(),
                   [](auto& a, auto& b) { return a.frame < b.frame; });
  return song;
}
