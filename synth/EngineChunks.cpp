// The chunked renderer for both playing voices. Kept apart from the per-sample voice because
// its shape is dictated by speed (SSE lanes, pipelining, 48 specialised loops), while its
// arithmetic must stay exactly that of EngineVoice.h: the unit tests compare the two bit for bit.
#include "EngineChunks.h"

#if defined(VELA_CHUNKED_RENDER)
#include <array>
#include <utility>

// The segment loops call three lambdas per sample; left to itself the compiler keeps some of
// them as calls once the loop grows, which costs more than the work they do.
#define VELA_FORCE_INLINE __attribute__((always_inline))

namespace engine {
namespace {

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
// rendered over one contiguous stretch (once idle it stays idle until the next note-on, which
// comes between stretches).
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
  c.from = 0;
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
  const SineTable& sine = *k.sine;
  const uint32_t p1 = static_cast<uint32_t>(p[0]), p2 = static_cast<uint32_t>(p[1]),
                 pc = static_cast<uint32_t>(p[2]);
  uint32_t index1 = p1;
  if constexpr (kV.feedback1)
    index1 += static_cast<uint32_t>(feedbackOffset(s.out1, k.fb1, k.fb1Fixed));
  if constexpr (kV.sync1) index1 += static_cast<uint32_t>(sine.at(pc));
  s.out1 = sine.at(index1);
  uint32_t index2 = p2;
  if constexpr (kV.feedback2)
    index2 += static_cast<uint32_t>(feedbackOffset(s.out2, k.fb2, k.fb2Fixed));
  if constexpr (kV.sync2) {
    s.out2 = sine.at(index2 + static_cast<uint32_t>(s.out1));
    return sine.at(static_cast<uint32_t>(s.out2) + pc);
  } else {
    s.out2 = sine.at(index2);
    return sine.at(static_cast<uint32_t>(s.out1) + pc + static_cast<uint32_t>(s.out2));
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
  auto advance = [&](int32_t i) VELA_FORCE_INLINE {
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
  auto oscillate = [&](int32_t i) VELA_FORCE_INLINE {
    carrier[i][0] = oscillatorStep<kV>(osc0, rounded[i][0], k);
    carrier[i][1] = kPair ? oscillatorStep<kV>(osc1, rounded[i][1], k) : 0;
  };
  auto filterSample = [&](int32_t i) VELA_FORCE_INLINE {
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

}  // namespace

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

template void renderPairFast<true>(float*, float*, int32_t, VoiceRun&, VoiceRun&,
                                   const BlockCoefs&);
template void renderPairFast<false>(float*, float*, int32_t, VoiceRun&, VoiceRun&,
                                    const BlockCoefs&);

}  // namespace engine
#endif
