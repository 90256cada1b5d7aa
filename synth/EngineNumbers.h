// Rounding, wrapping and phase constants shared by every part of the engine. All of them are
// fixed: rounding is to nearest, ties to even, from a value formed in double precision, and
// integer sums wrap in two's complement, so every build (x86-64, i686 with SSE2) gives the same
// bits.
#pragma once

#include <cstdint>
#include <limits>

#include "VelaEngine.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#else
#include <cmath>
#endif

namespace engine {

constexpr double kPitchRatio = 1.059463094359;  // twelve digits, not the exact twelfth root of 2
constexpr uint32_t kPhaseMask = static_cast<uint32_t>(kSineTableMask);
constexpr int32_t kPhaseCycle = kSineTableSize;
constexpr float kCycle = static_cast<float>(kSineTableSize);
// A phase rounds to 131072..262143 (bit 17 set) exactly when it lies in [131071.5, 262143.5).
constexpr float kPhaseBit17From = 131071.5f;
constexpr float kPhaseLimit = 262143.5f;
// Increments up to this keep every phase below kPhaseLimit with no extra reduction.
constexpr float kBoundedIncrement = 131000.0f;
// Stage lengths saturate here, so counters and "+ 1" never overflow at absurd sample rates.
constexpr double kMaxStageSamples = 1073741824.0;
constexpr double kMaxCutoff = 0.785;

// Round to nearest, ties to even (the SSE conversion under the default rounding mode). Values
// outside int32 give INT32_MIN on every build.
#if defined(__SSE2__) || defined(_M_X64)
inline int32_t roundToInt(double x) { return _mm_cvtsd_si32(_mm_set_sd(x)); }
inline int32_t roundToInt(float x) { return _mm_cvtss_si32(_mm_set_ss(x)); }
#else
inline int32_t roundToInt(double x) {
  if (!(x >= -2147483648.0 && x < 2147483647.5)) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::nearbyint(x));
}
inline int32_t roundToInt(float x) { return roundToInt(static_cast<double>(x)); }
#endif

// Two's-complement sums, as the fixed-point formats assume; no signed overflow.
inline int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// A parameter value as the mapping uses it: limited to 0..1, NaN and values below the smallest
// normal float as 0 (a subnormal sustain level would make subnormal samples).
inline double unitValue(float v) {
  if (!(v >= std::numeric_limits<float>::min())) return 0.0;
  return v <= 1.0f ? static_cast<double>(v) : 1.0;
}

// "Mod1" and "Mod2" as whole semitones, -12..12.
inline int32_t semitoneOffset(float v) { return roundToInt((unitValue(v) - 0.5) * 24.0); }

// Flush-to-zero for the duration of a render call, so no result of the engine's SSE arithmetic
// (all of its float maths, on 32-bit builds too) is ever subnormal; the caller's MXCSR comes back
// on return. Normal results keep their bits.
class FlushToZeroScope {
 public:
#if defined(__SSE2__) || defined(_M_X64)
  FlushToZeroScope() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero); }
  ~FlushToZeroScope() { _mm_setcsr(saved_); }

 private:
  static constexpr unsigned kFlushToZero = 0x8000;
  unsigned saved_;
#endif
};

inline int32_t roundStageSamples(double samples) {
  if (!(samples > 0.0)) return 0;
  return roundToInt(samples < kMaxStageSamples ? samples : kMaxStageSamples);
}

// Whole cycles removed from a finite phase >= 0, exactly: floor by the 2^52 trick, no libm.
inline float reducePhase(float phase) {
  if (!(phase >= 0.0f && phase <= std::numeric_limits<float>::max())) return 0.0f;
  const double cycles = static_cast<double>(phase) / kPhaseCycle;
  constexpr double kTwo52 = 4503599627370496.0;
  if (cycles >= kTwo52) return 0.0f;  // a whole number of cycles already
  double whole = (cycles + kTwo52) - kTwo52;
  if (whole > cycles) whole -= 1.0;
  return static_cast<float>(static_cast<double>(phase) - whole * kPhaseCycle);
}

}  // namespace engine
