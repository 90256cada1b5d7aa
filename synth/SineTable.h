// The oscillators' sine: one cycle of 131072 steps, amplitude 65536, rounded to integers. The
// second half of the cycle is exactly the first negated (entry k + 65536 is -entry k), so only
// the first half is stored: 256 KiB, half of a 512 KiB second-level cache, which the whole cycle
// (512 KiB) filled. A quarter wave (128 KiB as int32, 64 KiB as 16 bits) also needs a mirrored
// index on the modulators' serial chain: measured, 102-114 instructions per voice-sample against
// 80-82 for this layout, and slower on a 512 KiB L2 (bench/cachegrind.sh, docs/performance.md).
#pragma once

#include <cstdint>

constexpr int32_t kSineHalfCycle = 65536;  // steps per half cycle

struct SineTable {
  int32_t half[kSineHalfCycle];

  // Entry `index` of the cycle (index modulo 131072): the first half's value, negated in the
  // second half. Written as a select, which compiles to a conditional move (no branch), and is
  // two instructions shorter than negating by a mask.
  int32_t at(uint32_t index) const {
    const int32_t v = half[index & (kSineHalfCycle - 1)];
    return (index & kSineHalfCycle) != 0 ? -v : v;
  }

  // Fills the table from the first quarter's values q(0..32768); the second quarter mirrors the
  // first (entry 65536 - k is entry k).
  template <class Quarter>
  void build(Quarter q) {
    for (int32_t k = 0; k < kSineHalfCycle; ++k)
      half[k] = k <= kSineHalfCycle / 2 ? q(k) : q(kSineHalfCycle - k);
  }
};
