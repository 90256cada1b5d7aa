// The sound engine of AVstXSynth: shared tables, parameter mapping, MIDI intake, voice
// rendering and the integer filter. Every rounding is to nearest, ties to even, from a product
// formed in double precision; every build (x86-64, i686 with SSE2) gives the same bits.
#include <array>
#include <cstring>
#include <limits>
#include <utility>

#include "uVSTXSynth.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#else
#include <cmath>
#endif

namespace {

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

// A parameter value as the mapping uses it: limited to 0..1, NaN as 0.
inline double unitValue(float v) {
  if (!(v >= 0.0f)) return 0.0;
  return v <= 1.0f ? static_cast<double>(v) : 1.0;
}

inline int32_t roundStageSamples(double samples) {
  if (!(samples > 0.0)) return 0;
  return roundToInt(samples < kMaxStageSamples ? samples : kMaxStageSamples);
}

// Whole cycles removed from a finite phase >= 0, exactly: floor by the 2^52 trick, no libm.
float reducePhase(float phase) {
  if (!(phase >= 0.0f && phase <= std::numeric_limits<float>::max())) return 0.0f;
  const double cycles = static_cast<double>(phase) / kPhaseCycle;
  constexpr double kTwo52 = 4503599627370496.0;
  if (cycles >= kTwo52) return 0.0f;  // a whole number of cycles already
  double whole = (cycles + kTwo52) - kTwo52;
  if (whole > cycles) whole -= 1.0;
  return static_cast<float>(static_cast<double>(phase) - whole * kPhaseCycle);
}

struct SynthTablesHolder {
  SynthTables tables;
  SynthTablesHolder() {
    int32_t* sine = tables.sineTable;
    for (int32_t i = 0; i < 32768; ++i) {
      sine[i] = roundToInt(65536.0 * sineOfStep(i));
      // sin((i - 32768) * pi / 65536) = -sin((32768 - i) * pi / 65536); rounding is symmetric.
      sine[i + 98304] = roundToInt(65536.0 * -sineOfStep(32768 - i));
    }
    for (int32_t i = 0; i < 32768; ++i) {
      sine[i + 32768] = -sine[i + 98304];
      sine[i + 65536] = -sine[i];
    }
    double x = 6.875;
    for (int32_t i = 0; i < 3; ++i) x *= kPitchRatio;
    for (float& frequency : tables.noteFrequencyTable) {
      frequency = static_cast<float>(x);
      x *= kPitchRatio;
    }
    for (int32_t m = 0; m < kPitchBendSteps; ++m)
      tables.pitchBendTable[m] = static_cast<float>(pitchBendPower(m - 64));
  }
};

// One voice's state, held in locals for a block and written back once.
struct VoiceRun {
  float phase1, phase2, phaseC;
  float inc1, inc2, incC;
  int32_t out1, out2;
  int32_t band1, low1, band2, low2;  // filter stage 1 and stage 2 memories
  int32_t state, attackCounter, decayCounter, releaseCounter, startDelay, countdown;
  float level;
  double keyTrack, gain;
};

// Engine coefficients as one block reads them.
struct BlockCoefs {
  const int32_t* sine;
  double fb1, fb2;
  int64_t fb1Fixed, fb2Fixed;  // fb1 and fb2 times 2^40, for feedbackOffset
  double sustain;
  float sustainF;
  double env;
  double cutoffCoef;
  double damping;
  int32_t filterType;
  int32_t attackSamples, decaySamples, releaseSamples;
  bool mod1Sync, mod2Sync;
};

inline bool phaseBounded(float phase, float inc) {
  return phase >= -0.5f && phase < kPhaseLimit && inc >= 0.0f && inc <= kBoundedIncrement;
}

inline bool runBounded(const VoiceRun& v) {
  return phaseBounded(v.phase1, v.inc1) && phaseBounded(v.phase2, v.inc2) &&
         phaseBounded(v.phaseC, v.incC);
}

// phase - (rounded AND 131072) + inc. With kBounded the phase is known to lie in
// [-0.5, 262143.5), so the bit test is a comparison; either way (phase - k) is exact and the
// sum is rounded once, as the double expression would be.
template <bool kBounded>
inline float advancePhase(float phase, int32_t rounded, float inc) {
  if constexpr (kBounded) {
    const float cycle = phase >= kPhaseBit17From ? kCycle : 0.0f;
    return (phase - cycle) + inc;
  } else {
    const float next = static_cast<float>(
        (static_cast<double>(phase) - static_cast<double>(rounded & kPhaseCycle)) +
        static_cast<double>(inc));
    // Only increments above a cycle (very low sample rates) get here; without it the phase
    // would grow without bound.
    return next < kPhaseLimit ? next : reducePhase(next);
  }
}

inline float envelopeStep(VoiceRun& v, const BlockCoefs& k) {
  float e;
  switch (v.state) {
    case 1:
      if (v.attackCounter < k.attackSamples) {
        e = static_cast<float>(static_cast<double>(v.attackCounter) /
                               static_cast<double>(k.attackSamples + 1));
        v.level = e;
        ++v.attackCounter;
      } else {
        v.state = 2;
        v.decayCounter = 0;
        e = v.level;
      }
      break;
    case 2:
      if (v.decayCounter < k.decaySamples) {
        e = static_cast<float>(k.sustain + (1.0 - k.sustain) *
                                               (1.0 - static_cast<double>(v.decayCounter) /
                                                          static_cast<double>(k.decaySamples + 1)));
        v.level = e;
        ++v.decayCounter;
      } else {
        v.state = 3;
        e = v.level;
      }
      break;
    case 3:
      e = k.sustainF;
      v.level = e;
      break;
    case 4:
      if (v.releaseCounter < k.releaseSamples) {
        // The release scales the level it began from; level is left as it was.
        e = static_cast<float>((1.0 - static_cast<double>(v.releaseCounter) /
                                          static_cast<double>(k.releaseSamples + 1)) *
                               static_cast<double>(v.level));
        ++v.releaseCounter;
      } else {
        v.state = 0;
        e = 0.0f;
      }
      break;
    default:
      e = 0.0f;
      v.level = 0.0f;
      break;
  }
  if (v.countdown >= 0) {
    if (v.countdown == 0) {
      v.state = 4;  // from the next sample
      v.releaseCounter = 0;
    }
    --v.countdown;
  }
  return e;
}

// Two state-variable stages in series; |memories| stay far below 2^29, so every double
// product of an int32 and a float32 is exact before its one rounding.
inline int32_t filterStep(VoiceRun& v, int32_t input, double f, const BlockCoefs& k) {
  const int32_t high1 = wrapSub(wrapSub(input, v.band1), v.low1);
  const int32_t band1 = wrapAdd(v.band1, roundToInt(static_cast<double>(high1) * f));
  const int32_t low1 = wrapAdd(v.low1, roundToInt(static_cast<double>(band1) * f));
  v.band1 = band1;
  v.low1 = low1;
  const int32_t y = k.filterType == 0 ? low1 : (k.filterType == 1 ? band1 : high1);

  const int32_t damped = roundToInt(static_cast<double>(v.band2) * k.damping);
  const int32_t high2 = wrapSub(wrapSub(y, damped), v.low2);
  const int32_t band2 = wrapAdd(v.band2, roundToInt(static_cast<double>(high2) * f));
  const int32_t low2 = wrapAdd(v.low2, roundToInt(static_cast<double>(band2) * f));
  v.band2 = band2;
  v.low2 = low2;
  return k.filterType == 0 ? low2 : (k.filterType == 1 ? band2 : high2);
}

// The filter's frequency coefficient: envelope amount, "CutOff", note and velocity, at most 0.785.
inline float voiceCutoff(double e, double env, double cutoffCoef, double keyTrack) {
  const double cutoff = ((e * env + 1.1) - env) * cutoffCoef * keyTrack;
  return static_cast<float>(cutoff < kMaxCutoff ? cutoff : kMaxCutoff);
}

// One sample of a sounding voice (state > 0, start delay run down).
template <bool kBounded>
inline float renderSample(VoiceRun& v, const BlockCoefs& k) {
  const float e = envelopeStep(v, k);

  const int32_t* sine = k.sine;
  const int32_t p1 = roundToInt(v.phase1);
  const int32_t p2 = roundToInt(v.phase2);
  const int32_t pc = roundToInt(v.phaseC);

  const int32_t fb1 = roundToInt(static_cast<double>(v.out1) * k.fb1);
  uint32_t index1 = static_cast<uint32_t>(p1) + static_cast<uint32_t>(fb1);
  if (k.mod1Sync) index1 += static_cast<uint32_t>(sine[static_cast<uint32_t>(pc) & kPhaseMask]);
  v.out1 = sine[index1 & kPhaseMask];

  const int32_t fb2 = roundToInt(static_cast<double>(v.out2) * k.fb2);
  int32_t carrier;
  if (k.mod2Sync) {
    v.out2 = sine[(static_cast<uint32_t>(p2) + static_cast<uint32_t>(v.out1) +
                   static_cast<uint32_t>(fb2)) &
                  kPhaseMask];
    carrier = sine[(static_cast<uint32_t>(v.out2) + static_cast<uint32_t>(pc)) & kPhaseMask];
  } else {
    v.out2 = sine[(static_cast<uint32_t>(p2) + static_cast<uint32_t>(fb2)) & kPhaseMask];
    carrier = sine[(static_cast<uint32_t>(v.out1) + static_cast<uint32_t>(pc) +
                    static_cast<uint32_t>(v.out2)) &
                   kPhaseMask];
  }

  v.phase1 = advancePhase<kBounded>(v.phase1, p1, v.inc1);
  v.phase2 = advancePhase<kBounded>(v.phase2, p2, v.inc2);
  v.phaseC = advancePhase<kBounded>(v.phaseC, pc, v.incC);

  const double ed = static_cast<double>(e);
  const float f = voiceCutoff(ed, k.env, k.cutoffCoef, v.keyTrack);

  const int32_t y = filterStep(v, carrier, static_cast<double>(f), k);
  return static_cast<float>(static_cast<double>(y) * ed * v.gain);
}

// A voice's contribution to one block sample; -0.0f (adds as an exact no-op) when it is silent.
template <bool kBounded>
inline float voiceSample(VoiceRun& v, const BlockCoefs& k) {
  if (v.state <= 0) return -0.0f;
  if (v.startDelay > 0) {
    --v.startDelay;
    return -0.0f;
  }
  return renderSample<kBounded>(v, k);
}

// Base of each output sample: the buffer's value, or +0 for a replacing call.
template <bool kReplace>
inline float outputBase(const float* buffer, int32_t s) {
  if constexpr (kReplace) {
    return 0.0f;
  } else {
    return buffer[s];
  }
}

// Both playing voices interleaved: their serial chains overlap.
template <bool kReplace, bool kBounded>
void renderPair(float* left, float* right, int32_t frames, VoiceRun& v0, VoiceRun& v1,
                const BlockCoefs& k) {
  for (int32_t s = 0; s < frames; ++s) {
    const float o0 = voiceSample<kBounded>(v0, k);
    const float o1 = voiceSample<kBounded>(v1, k);
    left[s] = (outputBase<kReplace>(left, s) + o0) + o1;
    right[s] = (outputBase<kReplace>(right, s) + o0) + o1;
  }
}

template <bool kReplace, bool kBounded>
void renderSingle(float* left, float* right, int32_t frames, VoiceRun& v, const BlockCoefs& k) {
  for (int32_t s = 0; s < frames; ++s) {
    const float o = voiceSample<kBounded>(v, k);
    left[s] = outputBase<kReplace>(left, s) + o;
    right[s] = outputBase<kReplace>(right, s) + o;
  }
}


#if defined(__SSE2__) || defined(_M_X64)
// ---------------------------------------------------------------------------------------------
// The fast path for the usual case: the two playing voices with bounded phases. A block is cut
// into chunks, and each chunk runs in passes:
//   1. envelope per voice, in runs of one stage (closed forms, no per-sample branching);
//   2. the rest of each sample, specialised by filter type and switches, both voices together
//      where both sound: the two filters share SSE registers lane by lane, and the work is
//      pipelined so that the filters' serial arithmetic, the one chain that cannot be shortened,
//      always finds its inputs ready (see chainSegment);
//   3. output mix.
// Every value is computed by the same operations in the same precision as renderSample, so the
// bits are those of the per-sample path.

constexpr int32_t kChunk = 128;

// One voice's per-sample values within a chunk. Samples [from, to) are rendered; a voice is
// rendered over one contiguous stretch of a block (its start delay runs down once, and once
// idle it stays idle until the next note-on, which comes between blocks).
struct ChunkVoice {
  int32_t from, to;
  alignas(16) float e[kChunk];    // envelope value
  alignas(16) float out[kChunk];  // contribution to the output; -0.0f adds nothing
};

inline int32_t minRun(int32_t run, int32_t limit) { return limit < run ? limit : run; }

// Pass 1: envelope for samples 0..n-1 of the chunk. Within a stage (and before a
// pending note-off) each value depends only on the stage's counter, so runs are filled from the
// closed form; the sample that changes stage goes through envelopeStep.
void envelopePass(VoiceRun& v, const BlockCoefs& k, ChunkVoice& c, int32_t n) {
  int32_t i = 0;
  if (v.state > 0 && v.startDelay > 0) {
    i = minRun(n, v.startDelay);
    v.startDelay -= i;
  }
  c.from = i;
  while (i < n && v.state > 0) {
    int32_t run = n - i;
    if (v.countdown >= 0) run = minRun(run, v.countdown);  // the sample at 0 is a stage change
    float* e = c.e + i;
    switch (v.state) {
      case 1: {
        run = minRun(run, k.attackSamples - v.attackCounter);
        const double length = static_cast<double>(k.attackSamples + 1);
        for (int32_t j = 0; j < run; ++j)
          e[j] = static_cast<float>(static_cast<double>(v.attackCounter + j) / length);
        if (run > 0) {
          v.level = e[run - 1];
          v.attackCounter += run;
        }
        break;
      }
      case 2: {
        run = minRun(run, k.decaySamples - v.decayCounter);
        const double length = static_cast<double>(k.decaySamples + 1);
        for (int32_t j = 0; j < run; ++j)
          e[j] = static_cast<float>(
              k.sustain +
              (1.0 - k.sustain) * (1.0 - static_cast<double>(v.decayCounter + j) / length));
        if (run > 0) {
          v.level = e[run - 1];
          v.decayCounter += run;
        }
        break;
      }
      case 3:
        for (int32_t j = 0; j < run; ++j) e[j] = k.sustainF;
        if (run > 0) v.level = k.sustainF;
        break;
      case 4: {
        run = minRun(run, k.releaseSamples - v.releaseCounter);
        const double length = static_cast<double>(k.releaseSamples + 1);
        const double level = static_cast<double>(v.level);
        for (int32_t j = 0; j < run; ++j)
          e[j] = static_cast<float>(
              (1.0 - static_cast<double>(v.releaseCounter + j) / length) * level);
        if (run > 0) v.releaseCounter += run;
        break;
      }
      default:
        run = 0;
        break;
    }
    if (run > 0) {
      if (v.countdown >= 0) v.countdown -= run;
      i += run;
    } else {
      c.e[i++] = envelopeStep(v, k);
    }
  }
  c.to = i;
}

// The oscillators of one voice, held in registers through a segment. The three phases share one
// SSE register (modulator 1, modulator 2, carrier, unused lane).
struct OscillatorState {
  __m128 phase, inc;
  int32_t out1, out2;
};

// A feedback amount below 2^-17 always adds 0: |out| <= 65536, so |out * amount| < 0.5.
constexpr double kLeastFeedback = 0x1p-17;

// Which parts a segment computes.
struct ChainVariant {
  int32_t type;  // 0 low-pass, 1 band-pass, 2 high-pass
  bool sync1, sync2, feedback1, feedback2;
};

// round(out * amount) for a modulator's feedback, |out| <= 65536, amount 0..1. On x86-64 in
// integers, which is shorter on the modulator's serial path (table read, feedback, next index):
// amount * 2^40 is exact for the amounts of at least 2^-17 that take this path (smaller ones
// select a variant without feedback), and the 57-bit product rounds to nearest, ties to even, by
// adding just under one half plus the bit that decides a tie.
inline int32_t feedbackOffset(int32_t out, double amount, int64_t amount40) {
#if defined(__x86_64__) || defined(_M_X64)
  static_cast<void>(amount);
  const int64_t product = static_cast<int64_t>(out) * amount40;
  const int64_t belowHalf = (int64_t{1} << 39) - 1;
  return static_cast<int32_t>((product + belowHalf + ((product >> 40) & 1)) >> 40);
#else
  static_cast<void>(amount40);
  return roundToInt(static_cast<double>(out) * amount);
#endif
}

// The rounded phases of one sample into `rounded` (modulator 1, modulator 2, carrier), then the
// bounded advance of advancePhase<true> on all three lanes.
inline void phaseStep(OscillatorState& s, int32_t* rounded) {
  _mm_store_si128(reinterpret_cast<__m128i*>(rounded), _mm_cvtps_epi32(s.phase));
  const __m128 wrap = _mm_and_ps(_mm_cmpge_ps(s.phase, _mm_set1_ps(kPhaseBit17From)),
                                 _mm_set1_ps(kCycle));
  s.phase = _mm_add_ps(_mm_sub_ps(s.phase, wrap), s.inc);
}

// One sample of one voice's modulators and carrier, from its rounded phases p, as renderSample
// forms them. Returns the carrier. Forced inline, as filterStep: the segment loops are large
// enough for the compiler to leave a call there otherwise.
template <ChainVariant kV>
[[gnu::always_inline]] inline int32_t oscillatorStep(OscillatorState& s, const int32_t* p,
                                                     const BlockCoefs& k) {
  const int32_t* sine = k.sine;
  const uint32_t p1 = static_cast<uint32_t>(p[0]), p2 = static_cast<uint32_t>(p[1]),
                 pc = static_cast<uint32_t>(p[2]);
  uint32_t index1 = p1;
  if constexpr (kV.feedback1)
    index1 += static_cast<uint32_t>(feedbackOffset(s.out1, k.fb1, k.fb1Fixed));
  if constexpr (kV.sync1) index1 += static_cast<uint32_t>(sine[pc & kPhaseMask]);
  s.out1 = sine[index1 & kPhaseMask];
  uint32_t index2 = p2;
  if constexpr (kV.feedback2)
    index2 += static_cast<uint32_t>(feedbackOffset(s.out2, k.fb2, k.fb2Fixed));
  if constexpr (kV.sync2) {
    s.out2 = sine[(index2 + static_cast<uint32_t>(s.out1)) & kPhaseMask];
    return sine[(static_cast<uint32_t>(s.out2) + pc) & kPhaseMask];
  } else {
    s.out2 = sine[index2 & kPhaseMask];
    return sine[(static_cast<uint32_t>(s.out1) + pc + static_cast<uint32_t>(s.out2)) &
                kPhaseMask];
  }
}

inline OscillatorState oscillatorsOf(const VoiceRun& v) {
  return {_mm_setr_ps(v.phase1, v.phase2, v.phaseC, 0.0f),
          _mm_setr_ps(v.inc1, v.inc2, v.incC, 0.0f), v.out1, v.out2};
}
inline void storeOscillators(VoiceRun& v, const OscillatorState& s) {
  alignas(16) float phase[4];
  _mm_store_ps(phase, s.phase);
  v.phase1 = phase[0], v.phase2 = phase[1], v.phaseC = phase[2];
  v.out1 = s.out1, v.out2 = s.out2;
}

// The filters run in the two lanes of SSE registers, lane n for voice n, which halves their
// arithmetic. The memories are doubles holding integers: every sum stays exact, and a product
// rounds to an integer by adding and subtracting 1.5 * 2^52 (ties to even, as the conversion
// would). This gives the int32 results as long as the memories stay below 2^29, the bound that
// already keeps the double products exact.
constexpr double kRoundShift = 6755399441055744.0;  // 1.5 * 2^52

struct LaneFilters {
  __m128d band1, low1, band2, low2;
};

// base + round(product): (product + 1.5 * 2^52) lands on the integer grid, rounded once; the
// difference with (1.5 * 2^52 - base) is exact.
inline __m128d addRounded(__m128d base, __m128d product) {
  const __m128d shift = _mm_set1_pd(kRoundShift);
  return _mm_sub_pd(_mm_add_pd(product, shift), _mm_sub_pd(shift, base));
}

template <int32_t kType>
inline __m128d filterTap(__m128d low, __m128d band, __m128d high) {
  if constexpr (kType == 0) return low;
  if constexpr (kType == 1) return band;
  return high;
}

// One sample of filterStep in both lanes. y - round(band2 * damping) is formed as
// (y + 1.5 * 2^52) - (band2 * damping + 1.5 * 2^52), the same exact value one addition shorter
// on the serial path.
template <int32_t kType>
[[gnu::always_inline]] inline __m128d filterStep(LaneFilters& s, __m128d x, __m128d f,
                                                 __m128d damping) {
  const __m128d shift = _mm_set1_pd(kRoundShift);
  const __m128d high1 = _mm_sub_pd(_mm_sub_pd(x, s.band1), s.low1);
  s.band1 = addRounded(s.band1, _mm_mul_pd(high1, f));
  s.low1 = addRounded(s.low1, _mm_mul_pd(s.band1, f));
  const __m128d y = filterTap<kType>(s.low1, s.band1, high1);

  const __m128d damped = _mm_add_pd(_mm_mul_pd(s.band2, damping), shift);
  const __m128d high2 = _mm_sub_pd(_mm_sub_pd(_mm_add_pd(y, shift), damped), s.low2);
  s.band2 = addRounded(s.band2, _mm_mul_pd(high2, f));
  s.low2 = addRounded(s.low2, _mm_mul_pd(s.band2, f));
  return filterTap<kType>(s.low2, s.band2, high2);
}

// How far the oscillators run ahead of the filters. Their table reads are a chain of up to four
// dependent loads from a table larger than the first-level cache; started a few samples early,
// they overlap the filters' arithmetic instead of queueing behind it.
constexpr int32_t kOscillatorLead = 6;

// Pass 2 over samples [a, b) of the chunk for kVoices voices (1 or 2), all rendered throughout:
// oscillators, cutoff coefficient, filter, gain. Lane n of the filter registers is voice n; a
// lone voice leaves lane 1 at zero (input 0, coefficient 0, gain 0), where it stays.
template <ChainVariant kV, int32_t kVoices>
void chainSegment(VoiceRun* const* v, ChunkVoice* const* c, int32_t a, int32_t b,
                  const BlockCoefs& k) {
  constexpr bool kPair = kVoices == 2;
  // A voice field in both lanes.
  auto lanes = [v](auto VoiceRun::*field) {
    return _mm_setr_pd(static_cast<double>(v[0]->*field),
                       kPair ? static_cast<double>(v[kVoices - 1]->*field) : 0.0);
  };
  OscillatorState osc0 = oscillatorsOf(*v[0]);
  OscillatorState osc1 = kPair ? oscillatorsOf(*v[1]) : OscillatorState{};
  LaneFilters filter{lanes(&VoiceRun::band1), lanes(&VoiceRun::low1), lanes(&VoiceRun::band2),
                     lanes(&VoiceRun::low2)};
  const __m128d keyTrack = lanes(&VoiceRun::keyTrack);
  const __m128d gain = lanes(&VoiceRun::gain);
  const __m128d env = _mm_set1_pd(k.env), offset = _mm_set1_pd(1.1);
  const __m128d cutoffCoef = _mm_set1_pd(k.cutoffCoef), limit = _mm_set1_pd(kMaxCutoff);
  const __m128d damping = _mm_set1_pd(k.damping);
  const float* e0 = c[0]->e;
  const float* e1 = c[kVoices - 1]->e;
  float* out0 = c[0]->out;
  float* out1 = c[kVoices - 1]->out;

  // Three stages, each a sample or more ahead of the next, so that the serial filter arithmetic
  // finds its inputs ready: (1) rounded phases, handed on through memory, which costs fewer
  // instructions than moving them to integer registers, with envelope and cutoff coefficient;
  // (2) oscillators; (3) filters and gain.
  alignas(16) int32_t rounded[kChunk][2][4];  // per sample and lane: modulator 1, 2, carrier
  alignas(16) int32_t carrier[kChunk][2];     // per sample: lane 0, lane 1
  __m128d envelope[kChunk];                   // per sample: e of lane 0, lane 1
  __m128d cutoff[kChunk];                     // per sample: f of lane 0, lane 1
  auto advance = [&](int32_t i) {
    phaseStep(osc0, rounded[i][0]);
    if constexpr (kPair) phaseStep(osc1, rounded[i][1]);
    const __m128 eLanes = _mm_unpacklo_ps(_mm_load_ss(e0 + i), kPair ? _mm_load_ss(e1 + i)
                                                                      : _mm_setzero_ps());
    const __m128d e = _mm_cvtps_pd(eLanes);
    // voiceCutoff: minpd(x, 0.785) is x < 0.785 ? x : 0.785; the result rounds to float32.
    const __m128d factor = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(e, env), offset), env);
    const __m128d x = _mm_mul_pd(_mm_mul_pd(factor, cutoffCoef), keyTrack);
    envelope[i] = e;
    cutoff[i] = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_min_pd(x, limit)));
  };
  auto oscillate = [&](int32_t i) {
    carrier[i][0] = oscillatorStep<kV>(osc0, rounded[i][0], k);
    carrier[i][1] = kPair ? oscillatorStep<kV>(osc1, rounded[i][1], k) : 0;
  };
  auto filterSample = [&](int32_t i) {
    const __m128d x =
        _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(carrier[i])));
    const __m128d y = filterStep<kV.type>(filter, x, cutoff[i], damping);
    const __m128 out = _mm_cvtpd_ps(_mm_mul_pd(_mm_mul_pd(y, envelope[i]), gain));
    _mm_store_ss(out0 + i, out);
    if constexpr (kPair) _mm_store_ss(out1 + i, _mm_shuffle_ps(out, out, 1));
  };
  for (int32_t i = a; i < minRun(b, a + kOscillatorLead + 1); ++i) advance(i);
  for (int32_t i = a; i < minRun(b, a + kOscillatorLead); ++i) oscillate(i);
  int32_t i = a;
  for (; i + kOscillatorLead + 1 < b; ++i) {
    advance(i + kOscillatorLead + 1);
    oscillate(i + kOscillatorLead);
    filterSample(i);
  }
  // Every phase is advanced; at most one sample's oscillators are left.
  for (; i < b; ++i) {
    if (i + kOscillatorLead < b) oscillate(i + kOscillatorLead);
    filterSample(i);
  }

  storeOscillators(*v[0], osc0);
  alignas(16) double memory[4][2];
  _mm_store_pd(memory[0], filter.band1);
  _mm_store_pd(memory[1], filter.low1);
  _mm_store_pd(memory[2], filter.band2);
  _mm_store_pd(memory[3], filter.low2);
  for (int32_t n = 0; n < kVoices; ++n) {
    v[n]->band1 = roundToInt(memory[0][n]), v[n]->low1 = roundToInt(memory[1][n]);
    v[n]->band2 = roundToInt(memory[2][n]), v[n]->low2 = roundToInt(memory[3][n]);
  }
  if constexpr (kPair) storeOscillators(*v[1], osc1);
}

using ChainSegmentFn = void (*)(VoiceRun* const*, ChunkVoice* const*, int32_t, int32_t,
                                const BlockCoefs&);

// All 48 variants, indexed by type * 16 + sync1 * 8 + sync2 * 4 + feedback1 * 2 + feedback2.
template <int32_t kVoices, size_t... kIndex>
constexpr auto chainSegmentTable(std::index_sequence<kIndex...>) {
  return std::array<ChainSegmentFn, sizeof...(kIndex)>{
      chainSegment<ChainVariant{static_cast<int32_t>(kIndex / 16), (kIndex & 8) != 0,
                                (kIndex & 4) != 0, (kIndex & 2) != 0, (kIndex & 1) != 0},
                   kVoices>...};
}

template <int32_t kVoices>
ChainSegmentFn chainSegmentFor(const BlockCoefs& k) {
  static constexpr auto kTable = chainSegmentTable<kVoices>(std::make_index_sequence<48>());
  // Types other than 0 and 1 hand on the high-pass value, as filterStep does.
  const size_t type = k.filterType == 0 ? 0 : (k.filterType == 1 ? 1 : 2);
  return kTable[type * 16 + (k.mod1Sync ? 8 : 0) + (k.mod2Sync ? 4 : 0) +
                (k.fb1 >= kLeastFeedback ? 2 : 0) + (k.fb2 >= kLeastFeedback ? 1 : 0)];
}

// Both playing voices through one block, chunk by chunk.
template <bool kReplace>
void renderPairFast(float* left, float* right, int32_t frames, VoiceRun& v0, VoiceRun& v1,
                    const BlockCoefs& k) {
  ChunkVoice chunk[2];
  VoiceRun* const voices[2] = {&v0, &v1};
  const ChainSegmentFn pair = chainSegmentFor<2>(k);
  const ChainSegmentFn single = chainSegmentFor<1>(k);
  for (int32_t start = 0; start < frames; start += kChunk) {
    const int32_t n = minRun(kChunk, frames - start);
    envelopePass(v0, k, chunk[0], n);
    envelopePass(v1, k, chunk[1], n);
    // A voice adds -0.0f (an exact no-op) where it is not rendered.
    for (ChunkVoice& c : chunk) {
      for (int32_t i = 0; i < c.from; ++i) c.out[i] = -0.0f;
      for (int32_t i = c.to; i < n; ++i) c.out[i] = -0.0f;
    }
    // Segments between the points where a voice starts or stops being rendered.
    const int32_t bounds[4] = {chunk[0].from, chunk[0].to, chunk[1].from, chunk[1].to};
    for (int32_t a = 0; a < n;) {
      int32_t b = n;
      for (int32_t x : bounds)
        if (x > a && x < b) b = x;
      const bool in0 = a >= chunk[0].from && a < chunk[0].to;
      const bool in1 = a >= chunk[1].from && a < chunk[1].to;
      if (in0 && in1) {
        ChunkVoice* const both[2] = {&chunk[0], &chunk[1]};
        pair(voices, both, a, b, k);
      } else if (in0 || in1) {
        const int32_t voice = in0 ? 0 : 1;
        ChunkVoice* const one[1] = {&chunk[voice]};
        single(&voices[voice], one, a, b, k);
      }
      a = b;
    }
    float* l = left + start;
    float* r = right + start;
    for (int32_t i = 0; i < n; ++i) {
      l[i] = (outputBase<kReplace>(l, i) + chunk[0].out[i]) + chunk[1].out[i];
      r[i] = (outputBase<kReplace>(r, i) + chunk[0].out[i]) + chunk[1].out[i];
    }
  }
}

#endif  // SSE2

}  // namespace

// ---------------------------------------------------------------------------------------------
// Deterministic maths for the tables: only +, -, *, / in double, so no maths library decides an
// entry. Checked against a 60-digit reference (tests/data/tables_reference.py).

double sineOfStep(int32_t step) {
  // Below pi/4 the sine series, above it the cosine of the complement: both converge fast.
  constexpr double kRadiansPerStep = 3.14159265358979323846 / 65536.0;
  const bool complement = step > 16384;
  const double x = static_cast<double>(complement ? 32768 - step : step) * kRadiansPerStep;
  const double x2 = x * x;
  double term = complement ? 1.0 : x;
  double sum = term;
  for (int32_t n = 1; n <= 12; ++n) {
    const int32_t a = complement ? 2 * n - 1 : 2 * n;
    term = -term * x2 / static_cast<double>(a * (a + 1));
    sum += term;
  }
  return sum;
}

double pitchBendPower(int32_t exponent64) {
  // ln(r) = 2 atanh((r - 1) / (r + 1)); then exp by its series (|x| <= 0.058).
  const double z = (kPitchRatio - 1.0) / (kPitchRatio + 1.0);
  const double z2 = z * z;
  double term = z;
  double sum = z;
  for (int32_t n = 1; n <= 12; ++n) {
    term *= z2;
    sum += term / static_cast<double>(2 * n + 1);
  }
  const double x = static_cast<double>(exponent64) / 64.0 * (2.0 * sum);
  double power = 1.0;
  double part = 1.0;
  for (int32_t n = 1; n <= 20; ++n) {
    part = part * x / static_cast<double>(n);
    power += part;
  }
  return power;
}

float cutoffCoefficient(float e, float env, float cutoffCoef, float keyTrack) {
  return voiceCutoff(static_cast<double>(e), static_cast<double>(env),
                     static_cast<double>(cutoffCoef), static_cast<double>(keyTrack));
}

const SynthTables& synthTables() {
  // Built in place on first use; C++ guarantees one thread builds it while others wait.
  static const SynthTablesHolder holder;
  return holder.tables;
}

// ---------------------------------------------------------------------------------------------
// State, mapping, pitch.

void AVstXSynth::resetEngine() {
  for (int32_t n = 0; n < kNumVoiceSlots; ++n) {
    mod1Phase[n] = mod2Phase[n] = carrierPhase[n] = 0.0f;
    mod1Out[n] = mod2Out[n] = 0;
    envState[n] = attackCounter[n] = decayCounter[n] = releaseCounter[n] = 0;
    envLevel[n] = 0.0f;
    startDelay[n] = 0;
  }
  pitchBend = 1.0f;
  maxVoice = 1;
  nextVoice = 0;
  phaseRateFactor = static_cast<float>(131072.0 / 44100.0);
  tables = &synthTables();
}

void AVstXSynth::applyParameter(int32_t index) {
  if (!(index >= 0 && index < kNumParams)) return;
  const double v = unitValue(liveValue(index));
  const double rate = static_cast<double>(sampleRate);
  switch (index) {
    case kMod1:
      mod1Offset = roundToInt((v - 0.5) * 24.0);
      break;
    case kMod2:
      mod2Offset = roundToInt((v - 0.5) * 24.0);
      break;
    case kFB1:
    case kFB2:
      (index == kFB1 ? fb1Amount : fb2Amount) = static_cast<float>(v * v);
      for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
      break;
    case kA:
      attackSamples = roundStageSamples(v * v * rate * 0.5);
      break;
    case kD:
      decaySamples = roundStageSamples(v * v * rate * 0.5);
      break;
    case kS:
      sustainLevel = static_cast<float>(v);
      break;
    case kR:
      releaseSamples = roundStageSamples(v * v * rate) + 10;
      break;
    case kCutOff:
      cutoffCoef = static_cast<float>((v * v + 0.05) * 60000.0 / rate);
      break;
    case kQ:
      dampingCoef = static_cast<float>(1.2 - v * 1.17);
      break;
    case kType:
      filterType = roundToInt(v * 2.0);
      break;
    case kEnv:
      envAmount = static_cast<float>(v);
      break;
    case kM1S:
      mod1Sync = roundToInt(v) == 1;
      break;
    case kM2S:
      mod2Sync = roundToInt(v) == 1;
      break;
    default:
      break;
  }
}

void AVstXSynth::updateVoicePitch(int32_t voice) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  const float* frequency = tables->noteFrequencyTable;
  const double scale = static_cast<double>(phaseRateFactor);
  const double bend = static_cast<double>(pitchBend);
  const int32_t note = voiceNote[voice];
  auto increment = [&](int32_t offset) {
    const double hz = static_cast<double>(frequency[wrapAdd(note, offset) & (kNumNotes - 1)]);
    return static_cast<float>(hz * scale * bend);
  };
  mod1Inc[voice] = increment(mod1Offset);
  mod2Inc[voice] = increment(mod2Offset);
  carrierInc[voice] = increment(0);
}

void AVstXSynth::setSampleRate(float newSampleRate) {
  // The base keeps the previous rate for zero, negative, NaN or infinite ones.
  AudioEffectX::setSampleRate(newSampleRate);
  phaseRateFactor = static_cast<float>(131072.0 / static_cast<double>(sampleRate));
}

// ---------------------------------------------------------------------------------------------
// MIDI intake and voice allocation.

void AVstXSynth::noteOn(int32_t voice, int32_t note, int32_t velocity, int32_t delta) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  voiceNote[voice] = note;
  voiceVelocity[voice] = velocity;
  voiceGain[voice] =
      static_cast<float>(static_cast<double>(velocity) * (1.0 / 127.0) * 0.17 * 0.00001);
  startDelay[voice] = delta;
  envState[voice] = 1;
  attackCounter[voice] = 0;
  mod1Out[voice] = mod2Out[voice] = 0;
  mod1Phase[voice] = mod2Phase[voice] = carrierPhase[voice] = 0.0f;
  envLevel[voice] = 0.0f;
  filterBand[voice][0] = filterBand[voice][1] = 0;
  filterLow[voice][0] = filterLow[voice][1] = 0;
  noteOffCountdown[voice] = -1;
  keyTrack[voice] = static_cast<float>(static_cast<double>((velocity + 128) * note) * 0x1p-15);
  updateVoicePitch(voice);
}

int32_t AVstXSynth::processEvents(VstEvents* events) {
  if (events == nullptr) return 1;
  VstEvent* const* list = events->events;  // hosts allocate numEvents entries behind the record
  const int32_t count = events->numEvents;
  for (int32_t i = 0; i < count; ++i) {
    const VstEvent* event = list[i];
    if (event == nullptr || event->type != kVstMidiType) continue;
    VstMidiEvent midi;
    std::memcpy(&midi, event, sizeof midi);
    // A negative offset would leave a note-off pending forever: it means "now".
    const int32_t delta = midi.deltaFrames > 0 ? midi.deltaFrames : 0;
    const auto status = static_cast<uint8_t>(static_cast<uint8_t>(midi.midiData[0]) & 0xF0);
    const auto data1 = static_cast<uint8_t>(midi.midiData[1]);
    const auto data2 = static_cast<uint8_t>(midi.midiData[2]);

    if (status == 0x90 || status == 0x80) {
      const int32_t note = data1 & 0x7F;
      const int32_t velocity = status == 0x80 ? 0 : (data2 & 0x7F);
      if (velocity == 0) {
        for (int32_t n = 0; n <= maxVoice; ++n) {
          if (voiceNote[n] == note && envState[n] >= 1 && envState[n] <= 3)
            noteOffCountdown[n] = delta;
        }
      } else {
        if (++nextVoice > maxVoice) nextVoice = 0;
        const int32_t following = nextVoice == maxVoice ? 0 : nextVoice + 1;
        if (envState[following] >= 1 && envState[following] <= 3)
          noteOffCountdown[following] = delta;
        noteOn(nextVoice, note, velocity, delta);
      }
    } else if (status == 0xB0 && data1 == 126) {
      for (int32_t n = 0; n <= maxVoice; ++n) envState[n] = 0;
    } else if (status == 0xE0) {
      int32_t m = data2 & 0x7F;
      if (m == 127) m = 128;
      pitchBend = tables->pitchBendTable[m];
      for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
    }
  }
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Rendering.

template <class Run>
void AVstXSynth::loadVoice(int32_t n, Run& v) const {
  v.phase1 = mod1Phase[n];
  v.phase2 = mod2Phase[n];
  v.phaseC = carrierPhase[n];
  v.inc1 = mod1Inc[n];
  v.inc2 = mod2Inc[n];
  v.incC = carrierInc[n];
  v.out1 = mod1Out[n];
  v.out2 = mod2Out[n];
  v.band1 = filterBand[n][0];
  v.low1 = filterLow[n][0];
  v.band2 = filterBand[n][1];
  v.low2 = filterLow[n][1];
  v.state = envState[n];
  v.attackCounter = attackCounter[n];
  v.decayCounter = decayCounter[n];
  v.releaseCounter = releaseCounter[n];
  v.startDelay = startDelay[n];
  v.countdown = noteOffCountdown[n];
  v.level = envLevel[n];
  v.keyTrack = static_cast<double>(keyTrack[n]);
  v.gain = static_cast<double>(voiceGain[n]);
}

template <class Run>
void AVstXSynth::storeVoice(int32_t n, const Run& v) {
  mod1Phase[n] = v.phase1;
  mod2Phase[n] = v.phase2;
  carrierPhase[n] = v.phaseC;
  mod1Out[n] = v.out1;
  mod2Out[n] = v.out2;
  filterBand[n][0] = v.band1;
  filterLow[n][0] = v.low1;
  filterBand[n][1] = v.band2;
  filterLow[n][1] = v.low2;
  envState[n] = v.state;
  attackCounter[n] = v.attackCounter;
  decayCounter[n] = v.decayCounter;
  releaseCounter[n] = v.releaseCounter;
  startDelay[n] = v.startDelay;
  noteOffCountdown[n] = v.countdown;
  envLevel[n] = v.level;
}

template <class Coefs>
void AVstXSynth::loadCoefs(Coefs& k) const {
  k.sine = tables->sineTable;
  k.fb1 = static_cast<double>(fb1Amount);
  k.fb2 = static_cast<double>(fb2Amount);
  k.fb1Fixed = static_cast<int64_t>(k.fb1 * 0x1p40);
  k.fb2Fixed = static_cast<int64_t>(k.fb2 * 0x1p40);
  k.sustain = static_cast<double>(sustainLevel);
  k.sustainF = sustainLevel;
  k.env = static_cast<double>(envAmount);
  k.cutoffCoef = static_cast<double>(cutoffCoef);
  k.damping = static_cast<double>(dampingCoef);
  k.filterType = filterType;
  k.attackSamples = attackSamples;
  k.decaySamples = decaySamples;
  k.releaseSamples = releaseSamples;
  k.mod1Sync = mod1Sync;
  k.mod2Sync = mod2Sync;
}

void AVstXSynth::renderVoice(int32_t voice, float* left, float* right) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  VoiceRun v;
  BlockCoefs k;
  loadVoice(voice, v);
  loadCoefs(k);
  const float out = renderSample<false>(v, k);
  storeVoice(voice, v);
  *left += out;
  *right += out;
}

int32_t AVstXSynth::filterVoice(int32_t voice, int32_t input, float cutoff) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return 0;
  VoiceRun v;
  BlockCoefs k;
  loadVoice(voice, v);
  loadCoefs(k);
  const int32_t y = filterStep(v, input, static_cast<double>(cutoff), k);
  storeVoice(voice, v);
  return y;
}

template <bool kReplace>
void AVstXSynth::renderBlock(float** outputs, int32_t sampleFrames) {
  if (outputs == nullptr || sampleFrames <= 0) return;
  float* left = outputs[0];
  float* right = outputs[1];
  if (left == nullptr || right == nullptr) return;
  BlockCoefs k;
  loadCoefs(k);
  int32_t first = 0;
  if (maxVoice == 1) {
    VoiceRun v0, v1;
    loadVoice(0, v0);
    loadVoice(1, v1);
#if defined(__SSE2__) || defined(_M_X64)
    if (runBounded(v0) && runBounded(v1))
      renderPairFast<kReplace>(left, right, sampleFrames, v0, v1, k);
    else
      renderPair<kReplace, false>(left, right, sampleFrames, v0, v1, k);
#else
    if (runBounded(v0) && runBounded(v1))
      renderPair<kReplace, true>(left, right, sampleFrames, v0, v1, k);
    else
      renderPair<kReplace, false>(left, right, sampleFrames, v0, v1, k);
#endif
    storeVoice(0, v0);
    storeVoice(1, v1);
    first = 2;
  } else if constexpr (kReplace) {
    for (int32_t i = 0; i < sampleFrames; ++i) left[i] = right[i] = 0.0f;
  }
  // Any further slots, one at a time: each sample still sums the voices in slot order.
  for (int32_t n = first; n <= maxVoice && n < kNumVoiceSlots; ++n) {
    VoiceRun v;
    loadVoice(n, v);
    if (runBounded(v))
      renderSingle<false, true>(left, right, sampleFrames, v, k);
    else
      renderSingle<false, false>(left, right, sampleFrames, v, k);
    storeVoice(n, v);
  }
}

void AVstXSynth::processReplacing(float**, float** outputs, int32_t sampleFrames) {
  renderBlock<true>(outputs, sampleFrames);
}

void AVstXSynth::process(float**, float** outputs, int32_t sampleFrames) {
  renderBlock<false>(outputs, sampleFrames);
}
