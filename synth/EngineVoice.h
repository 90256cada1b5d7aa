// The per-sample voice: envelope, oscillators, phase advance, the two-stage integer filter and
// the voice's output, one sample at a time. This is the engine's reference form: the fallback
// renderer (unbounded phases, voices beyond the first two, builds without SSE2) and the unit
// probes run it directly, and the chunked fast path must reproduce its bits exactly.
#pragma once

#include "EngineNumbers.h"

namespace engine {

// One voice's state, held in locals for a block and written back once.
struct VoiceRun {
  float phase1, phase2, phaseC;
  float inc1, inc2, incC;
  int32_t out1, out2;
  int32_t band1, low1, band2, low2;  // filter stage 1 and stage 2 memories
  int32_t state, attackCounter, decayCounter, releaseCounter, countdown;
  float level;
  double keyTrack, gain;
};

// Engine coefficients as one block reads them.
struct BlockCoefs {
  const SineTable* sine;
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

// One sample of a sounding voice (state > 0).
template <bool kBounded>
inline float renderSample(VoiceRun& v, const BlockCoefs& k) {
  const float e = envelopeStep(v, k);

  const SineTable& sine = *k.sine;
  const int32_t p1 = roundToInt(v.phase1);
  const int32_t p2 = roundToInt(v.phase2);
  const int32_t pc = roundToInt(v.phaseC);

  const int32_t fb1 = roundToInt(static_cast<double>(v.out1) * k.fb1);
  uint32_t index1 = static_cast<uint32_t>(p1) + static_cast<uint32_t>(fb1);
  if (k.mod1Sync) index1 += static_cast<uint32_t>(sine.at(static_cast<uint32_t>(pc)));
  v.out1 = sine.at(index1);

  const int32_t fb2 = roundToInt(static_cast<double>(v.out2) * k.fb2);
  int32_t carrier;
  if (k.mod2Sync) {
    v.out2 = sine.at(static_cast<uint32_t>(p2) + static_cast<uint32_t>(v.out1) +
                     static_cast<uint32_t>(fb2));
    carrier = sine.at(static_cast<uint32_t>(v.out2) + static_cast<uint32_t>(pc));
  } else {
    v.out2 = sine.at(static_cast<uint32_t>(p2) + static_cast<uint32_t>(fb2));
    carrier = sine.at(static_cast<uint32_t>(v.out1) + static_cast<uint32_t>(pc) +
                      static_cast<uint32_t>(v.out2));
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

}  // namespace engine
