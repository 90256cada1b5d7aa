// The oscillators' sine: one cycle of 131072 steps, amplitude 65536, rounded to integers. The
// second half of the cycle is exactly the first negated (entry k + 65536 is -entry k), so only
// the first half is stored: 256 KiB, half of a 512 KiB second-level cache, which the whole cycle
// (512 KiB) filled. A quarter wave (128 KiB as int32, 64 KiB as 16 bits) needs a mirrored index
// as well, about ten more instructions per read on the modulators' serial chain; measured, it was
// slower than this layout (bench/cachegrind.sh and the README's speed section).
#pragma once

#include <cstdint>

constexpr int32_t kSineHalfCycle = 65536;  // steps per half cycle

struct SineTable {
  int32_t half[kSineHalfCycle];

  // Entry `index` of the cycle (index modulo 131072): the first half's value, negated in the
  // second half by the bit that selects it.
  int32_t at(uint32_t index) const {
    const int32_t negate = static_cast<int32_t>(index << 15) >> 31;  // all ones from 65536 on
    return (half[index & (kSineHalfCycle - 1)] ^ negate) - negate;
  }

  // Fills the table from the first quarter's values q(0..32768); the second quarter mirrors the
  // first (entry 65536 - k is entry k).
  template <class Quarter>
  void build(Quarter q) {
    for (int32_t k = 0; k < kSineHalfCycle; ++k)
      half[k] = k <= kSineHalfCycle / 2 ? q(k) : q(kSineHalfCycle - k);
  }
};
