// The sound engine of AVstXSynth: shared tables, parameter mapping, MIDI intake, voice
// rendering and the integer filter. Every rounding is to nearest, ties to even, from a product
// formed in double precision; every build (x86-64, i686 with SSE2) gives the same bits.
#include <cstring>
#include <limits>

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
    if (runBounded(v0) && runBounded(v1))
      renderPair<kReplace, true>(left, right, sampleFrames, v0, v1, k);
    else
      renderPair<kReplace, false>(left, right, sampleFrames, v0, v1, k);
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
