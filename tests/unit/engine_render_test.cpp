// Voice rendering and the filter. The main check runs the engine against a plain per-sample
// model written straight from the design (exact integer rounding, no shortcuts) over seeded
// random scenarios, MIDI events at their frames, and compares every output bit and what each voice
// carries into the next block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "TestRandom.h"
#include "engine_probe.h"

namespace {

// round(x * g) to nearest, ties to even, from the exact product (g >= 0).
int32_t exactRoundProduct(int32_t x, float g) {
  if (g == 0.0f) return 0;
  int exponent = 0;
  const float mantissa = std::frexp(g, &exponent);  // g = mantissa * 2^exponent
  const auto m = static_cast<int64_t>(std::ldexp(mantissa, 24));
  const int shift = 24 - exponent;  // g = m / 2^shift
  const int64_t p = static_cast<int64_t>(x) * m;
  if (shift >= 62) return 0;
  int64_t q = p >> shift;  // floor
  const int64_t rest = p - q * (int64_t{1} << shift);
  const int64_t half = int64_t{1} << (shift - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(q)));
}

int32_t roundHalfEven(double x) { return static_cast<int32_t>(std::nearbyint(x)); }

struct ModelVoice {
  float phase[3], inc[3];
  int32_t out1, out2, band[2], low[2];
  int32_t state, attack, decay, release, countdown;
  float level, keyTrack, gain;
  int32_t note;
};

// The design's renderer, one sample and one voice at a time, taking each MIDI event at its frame.
struct Model {
  ModelVoice v[2];
  const int32_t* T = sineCycle().data();
  float fb1, fb2, S, Env, cutoffCoef, damping, rateFactor, bend;
  int32_t type, A, D, R, offset1, offset2, nextVoice;
  bool sync1, sync2;

  explicit Model(EngineProbe& p) {
    p.audioCall();  // edits the engine takes before the block
    for (int n = 0; n < 2; ++n) {
      v[n] = {{p.mod1Phase[n], p.mod2Phase[n], p.carrierPhase[n]},
              {p.mod1Inc[n], p.mod2Inc[n], p.carrierInc[n]},
              p.mod1Out[n],
              p.mod2Out[n],
              {p.filterBand[n][0], p.filterBand[n][1]},
              {p.filterLow[n][0], p.filterLow[n][1]},
              p.envState[n],
              p.attackCounter[n],
              p.decayCounter[n],
              p.releaseCounter[n],
              p.noteOffCountdown[n],
              p.envLevel[n],
              p.keyTrack[n],
              p.voiceGain[n],
              p.voiceNote[n]};
    }
    fb1 = p.fb1Amount, fb2 = p.fb2Amount, S = p.getParameter(kS), Env = p.getParameter(kEnv);
    cutoffCoef = p.cutoffCoef, damping = p.dampingCoef, type = p.filterType;
    A = p.attackSamples, D = p.decaySamples, R = p.releaseSamples;
    sync1 = p.mod1Sync, sync2 = p.mod2Sync;
    rateFactor = p.phaseRateFactor, bend = p.pitchBend, nextVoice = p.nextVoice;
    offset1 = p.mod1Offset, offset2 = p.mod2Offset;
  }

  void retune(ModelVoice& m) const {
    const float* hz = synthTables().noteFrequencyTable;
    const int32_t offsets[3] = {offset1, offset2, 0};
    for (int i = 0; i < 3; ++i)
      m.inc[i] = static_cast<float>(static_cast<double>(hz[(m.note + offsets[i]) & 127]) *
                                    rateFactor * bend);
  }
  static void release(ModelVoice& m) {
    if (m.state >= 1 && m.state <= 3) m.countdown = 0;  // this sample, then the release
  }
  void noteOn(ModelVoice& m, int32_t note, int32_t velocity) const {
    m = {{0, 0, 0}, {0, 0, 0}, 0, 0, {0, 0}, {0, 0}, 1, 0, m.decay, m.release, -1, 0.0f,
         static_cast<float>((velocity + 128) * note / 32768.0),
         static_cast<float>(velocity * (1.0 / 127.0) * 0.17 * 0.00001), note};
    retune(m);
  }
  void take(const MidiAt& e) {
    const int status = e.status & 0xF0;
    if (status == 0x90 && (e.data2 & 0x7F) != 0) {
      nextVoice = 1 - nextVoice;
      release(v[1 - nextVoice]);
      noteOn(v[nextVoice], e.data1 & 0x7F, e.data2 & 0x7F);
    } else if (status == 0x80 || status == 0x90) {
      for (ModelVoice& m : v)
        if (m.note == (e.data1 & 0x7F)) release(m);
    } else if (status == 0xB0 && (e.data1 == 120 || e.data1 == 126)) {
      for (ModelVoice& m : v) m.state = 0;
    } else if (status == 0xB0 && e.data1 == 123) {
      for (ModelVoice& m : v) release(m);
    } else if (status == 0xE0 || (status == 0xB0 && e.data1 == 121)) {
      const int32_t m = status == 0xB0 ? 64 : (e.data2 & 0x7F) == 127 ? 128 : (e.data2 & 0x7F);
      bend = synthTables().pitchBendTable[m];
      for (ModelVoice& voice : v) retune(voice);
    }
  }

  int32_t filter(ModelVoice& m, int32_t x, float f) const {
    int32_t high = x - m.band[0] - m.low[0];
    int32_t band = m.band[0] + exactRoundProduct(high, f);
    int32_t low = m.low[0] + exactRoundProduct(band, f);
    const int32_t y = type == 0 ? low : type == 1 ? band : high;
    m.band[0] = band, m.low[0] = low;
    high = y - exactRoundProduct(m.band[1], damping) - m.low[1];
    band = m.band[1] + exactRoundProduct(high, f);
    low = m.low[1] + exactRoundProduct(band, f);
    m.band[1] = band, m.low[1] = low;
    return type == 0 ? low : type == 1 ? band : high;
  }

  void renderVoice(ModelVoice& m, float* left, float* right) const {
    float e = 0.0f;
    if (m.state == 1) {
      if (m.attack < A) {
        e = static_cast<float>(static_cast<double>(m.attack) / (A + 1));
        m.level = e, ++m.attack;
      } else {
        m.state = 2, m.decay = 0, e = m.level;
      }
    } else if (m.state == 2) {
      if (m.decay < D) {
        e = static_cast<float>(S + (1.0 - S) * (1.0 - static_cast<double>(m.decay) / (D + 1)));
        m.level = e, ++m.decay;
      } else {
        m.state = 3, e = m.level;
      }
    } else if (m.state == 3) {
      e = S, m.level = S;
    } else if (m.state == 4) {
      if (m.release < R) {
        e = static_cast<float>((1.0 - static_cast<double>(m.release) / (R + 1)) * m.level);
        ++m.release;
      } else {
        m.state = 0, e = 0.0f;
      }
    }
    if (m.countdown >= 0) {
      if (m.countdown == 0) m.state = 4, m.release = 0;
      --m.countdown;
    }
    const int32_t p1 = roundHalfEven(m.phase[0]), p2 = roundHalfEven(m.phase[1]),
                  pc = roundHalfEven(m.phase[2]);
    int32_t fb = exactRoundProduct(m.out1, fb1);
    m.out1 = sync1 ? T[(T[pc & 131071] + p1 + fb) & 131071] : T[(p1 + fb) & 131071];
    fb = exactRoundProduct(m.out2, fb2);
    int32_t c;
    if (sync2) {
      m.out2 = T[(p2 + m.out1 + fb) & 131071];
      c = T[(m.out2 + pc) & 131071];
    } else {
      m.out2 = T[(p2 + fb) & 131071];
      c = T[(m.out1 + pc + m.out2) & 131071];
    }
    const int32_t rounded[3] = {p1, p2, pc};
    for (int i = 0; i < 3; ++i) {
      m.phase[i] =
          static_cast<float>(static_cast<double>(m.phase[i]) + m.inc[i] - (rounded[i] & 131072));
      // Only with increments above a cycle: keep the phase from growing without bound.
      if (m.phase[i] >= 262143.5f) m.phase[i] = std::fmod(m.phase[i], 131072.0f);
    }
    double f = ((static_cast<double>(e) * Env + 1.1) - Env) * cutoffCoef * m.keyTrack;
    if (f >= 0.785) f = 0.785;
    const int32_t y = filter(m, c, static_cast<float>(f));
    const auto out = static_cast<float>(static_cast<double>(y) * e * m.gain);
    *left = *left + out;
    *right = *right + out;
  }

  // Events in order of frame (negative as 0, past the block as its last sample), list order
  // within a frame; each taken before the sample at its frame.
  void process(float* left, float* right, int32_t frames, std::vector<MidiAt> events = {}) {
    for (MidiAt& e : events) e.frame = std::clamp(e.frame, 0, frames - 1);
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiAt& a, const MidiAt& b) { return a.frame < b.frame; });
    size_t next = 0;
    for (int32_t s = 0; s < frames; ++s) {
      for (; next < events.size() && events[next].frame == s; ++next) take(events[next]);
      for (ModelVoice& m : v)
        if (m.state > 0) renderVoice(m, left + s, right + s);
    }
  }
};

void expectSameVoices(const Model& model, EngineProbe& p) {
  EXPECT_EQ(model.nextVoice, p.nextVoice);
  EXPECT_EQ(floatBits(model.bend), floatBits(p.pitchBend));
  for (int n = 0; n < 2; ++n) {
    SCOPED_TRACE(testing::Message() << "voice " << n);
    const ModelVoice& m = model.v[n];
    EXPECT_EQ(floatBits(m.phase[0]), floatBits(p.mod1Phase[n]));
    EXPECT_EQ(floatBits(m.phase[1]), floatBits(p.mod2Phase[n]));
    EXPECT_EQ(floatBits(m.phase[2]), floatBits(p.carrierPhase[n]));
    EXPECT_EQ(m.out1, p.mod1Out[n]);
    EXPECT_EQ(m.out2, p.mod2Out[n]);
    EXPECT_EQ(m.band[0], p.filterBand[n][0]);
    EXPECT_EQ(m.band[1], p.filterBand[n][1]);
    EXPECT_EQ(m.low[0], p.filterLow[n][0]);
    EXPECT_EQ(m.low[1], p.filterLow[n][1]);
    // Stage counters and the pending release are the engine's own business: the output
    // shows them. What a voice carries into the next block is checked here.
    EXPECT_EQ(m.state > 0, p.envState[n] > 0);
    EXPECT_EQ(floatBits(m.level), floatBits(p.envLevel[n]));
    EXPECT_EQ(m.note, p.voiceNote[n]);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(floatBits(m.inc[i]),
                floatBits((i == 0 ? p.mod1Inc : i == 1 ? p.mod2Inc : p.carrierInc)[n]));
  }
}

TEST(EngineRender, MatchesTheDesignModelBitForBit) {
  for (const float rate : {44100.0f, 48000.0f, 96000.0f, 22050.0f, 4000.0f}) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(testing::Message() << "rate " << rate << " seed " << seed);
      EngineProbe p;
      p.setSampleRate(rate);
      Random rnd{seed * 7919 + static_cast<uint64_t>(rate)};
      if (seed == 2) p.setProgram(1);
      int32_t sounding = 0;
      for (int block = 0; block < 120 && !HasFailure(); ++block) {
        const int32_t frames = 1 + rnd.below(600);
        TimedMidi midi;
        // Now and then a crowded block, far out of order.
        for (int i = block % 40 == 39 ? 300 : rnd.below(5); i > 0; --i) {
          // Now and then an offset before the block or past its end.
          const int32_t frame = rnd.below(frames + 8) - 4;
          switch (rnd.below(14)) {
            case 0:
              midi.add(frame, 0xE0, 0, rnd.below(128));
              break;
            case 1:
              midi.add(frame, 0xB0, 126, 0);
              break;
            case 2:
              midi.add(frame, 0xB5, 120 + rnd.below(4), 0);  // 120, 121, 123 (and 122, ignored)
              break;
            case 3:
            case 4:
            case 5:
              midi.noteOff(frame, 36 + rnd.below(48));
              break;
            default:
              midi.noteOn(frame, 24 + rnd.below(80), 1 + rnd.below(127));
              break;
          }
        }
        midi.queueTo(p);
        if (rnd.below(3) == 0) p.setParameter(rnd.below(kNumParams), rnd.unit());
        if (rnd.below(5) == 0) p.setParameter(kS, rnd.unit());

        std::vector<float> left(static_cast<size_t>(frames)), right(left.size());
        std::vector<float> modelLeft(left.size()), modelRight(left.size());
        for (size_t i = 0; i < left.size(); ++i)
          left[i] = right[i] = modelLeft[i] = modelRight[i] = 0.001f * static_cast<float>(i % 7);
        Model model(p);
        model.process(modelLeft.data(), modelRight.data(), frames, midi.list());
        p.process(left.data(), right.data(), frames);
        for (size_t i = 0; i < left.size(); ++i) {
          ASSERT_EQ(floatBits(left[i]), floatBits(modelLeft[i]))
              << "block " << block << " sample " << i;
          ASSERT_EQ(floatBits(right[i]), floatBits(modelRight[i]))
              << "block " << block << " sample " << i;
          if (left[i] != 0.001f * static_cast<float>(i % 7)) ++sounding;
        }
        expectSameVoices(model, p);
      }
      EXPECT_GT(sounding, 10000);  // the scenario really played
    }
  }
}

// Renders one block through the engine and through the model from the same state and requires
// the same bits in both channels and the same sounding state of each voice; returns the engine's
// left channel.
std::vector<float> renderBlockAgainstModel(EngineProbe& p, const TimedMidi& midi, int32_t frames,
                                           int block) {
  std::vector<float> left(static_cast<size_t>(frames), 0.0f), right(left);
  std::vector<float> modelLeft(left), modelRight(left);
  midi.queueTo(p);
  Model model(p);
  model.process(modelLeft.data(), modelRight.data(), frames, midi.list());
  p.processReplacing(left.data(), right.data(), frames);
  for (size_t i = 0; i < left.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "block " << block << " sample " << i);
    EXPECT_EQ(floatBits(left[i]), floatBits(modelLeft[i]));
    EXPECT_EQ(floatBits(right[i]), floatBits(modelRight[i]));
    if (::testing::Test::HasFailure()) break;
  }
  expectSameVoices(model, p);
  return left;
}

// The renderer has a loop specialised for each filter type, switch and feedback setting; each
// must match the model, with both voices sounding, one alone, and a voice starting mid-block.
TEST(EngineRender, EveryFilterAndSwitchVariantMatchesTheModel) {
  for (int variant = 0; variant < 48; ++variant) {
    const int type = variant / 16;
    const bool sync1 = (variant & 8) != 0, sync2 = (variant & 4) != 0;
    const bool feedback1 = (variant & 2) != 0, feedback2 = (variant & 1) != 0;
    SCOPED_TRACE(testing::Message() << "type " << type << " M1S " << sync1 << " M2S " << sync2
                                    << " FB1 " << feedback1 << " FB2 " << feedback2);
    EngineProbe p;
    p.setParameter(kType, static_cast<float>(type) / 2.0f);
    p.setParameter(kM1S, sync1 ? 1.0f : 0.0f);
    p.setParameter(kM2S, sync2 ? 1.0f : 0.0f);
    p.setParameter(kFB1, feedback1 ? 0.7f : 0.0f);
    p.setParameter(kFB2, feedback2 ? 0.9f : 0.0f);
    p.setParameter(kQ, 0.9f);
    p.setParameter(kR, 0.05f);  // 120 samples: the released voice stops within a block
    const int32_t notes[] = {40, 67, 52, 84, 45};
    for (int block = 0; block < 5 && !HasFailure(); ++block) {
      const TimedMidi midi = TimedMidi().noteOn(37 * block % 200, notes[block], 30 + 20 * block);
      const int32_t frames = 200 + 61 * block;
      const std::vector<float> left = renderBlockAgainstModel(p, midi, frames, block);
      EXPECT_NE(left[static_cast<size_t>(frames) - 1], 0.0f);
    }
  }
}

// Feedback amounts whose products land exactly halfway between integers (0.25, 0.5625, 1.0 with
// FB 0.5, 0.75, 1) must round to even; amounts below 2^-17 never feed back, ones a little above
// (1.2e-5 with FB 0.0035) do near the modulator's peaks.
TEST(EngineRender, FeedbackRoundingMatchesTheModel) {
  for (const float feedback : {0.5f, 0.75f, 1.0f, 0.00276f, 0.0035f}) {
    SCOPED_TRACE(testing::Message() << "FB " << feedback);
    EngineProbe p;
    p.setParameter(kFB1, feedback);
    p.setParameter(kFB2, feedback);
    p.setParameter(kM2S, 0.0f);
    p.setParameter(kR, 0.05f);
    for (int block = 0; block < 4 && !HasFailure(); ++block) {
      renderBlockAgainstModel(p, TimedMidi().noteOn(0, 45 + 7 * block, 100), 300, block);
    }
  }
}

TEST(EngineRender, EnvelopeStagesAsDesigned) {
  EngineProbe p;
  p.setParameter(kS, 0.25f);
  p.attackSamples = 3;
  p.decaySamples = 2;
  TimedMidi().noteOn(0, 60).sendTo(p);
  // attack 0, 1/4, 2/4, repeated on the switch; decay from exactly 1.0; decay's last value
  // repeated on its switch; then sustain.
  const float expected[] = {0.0f, 0.25f, 0.5f, 0.5f, 1.0f, 0.75f, 0.75f, 0.25f, 0.25f};
  const int32_t states[] = {1, 1, 1, 2, 2, 2, 3, 3, 3};
  float left = 0, right = 0;
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    p.renderVoice(1, &left, &right);
    EXPECT_EQ(p.envLevel[1], expected[i]);
    EXPECT_EQ(p.envState[1], states[i]);
  }
  p.setParameter(kS, 0.5f);  // no ramp
  p.renderVoice(1, &left, &right);
  EXPECT_EQ(p.envLevel[1], 0.5f);
  EXPECT_EQ(left, right);
}

// A note-off's own sample still sounds in the old stage; the release follows over "R" samples,
// the sample that ends it is silent and so is everything after.
TEST(EngineRender, ReleaseTimingEndsInSilence) {
  std::vector<float> held(40), released(40), right(40);
  for (std::vector<float>* out : {&held, &released}) {
    EngineProbe p;
    p.setParameter(kR, 0.0f);     // 10 samples
    p.setParameter(kType, 1.0f);  // high-pass: every envelope value is heard
    TimedMidi midi = TimedMidi().noteOn(0, 60);
    if (out == &released) midi.noteOff(4, 60);
    midi.queueTo(p);
    p.processReplacing(out->data(), right.data(), 40);
  }
  for (int i = 0; i < 5; ++i) EXPECT_EQ(floatBits(released[i]), floatBits(held[i])) << i;
  for (int i = 5; i < 15; ++i) {
    EXPECT_NE(released[i], held[i]) << i;
    EXPECT_NE(released[i], 0.0f) << i;
  }
  for (int i = 15; i < 40; ++i) EXPECT_EQ(floatBits(released[i]), floatBits(0.0f)) << i;
}

TEST(EngineRender, ReplacingOverwritesAccumulatingAdds) {
  struct Row {
    const char* name;
    bool replacing;
  };
  for (const Row& row : {Row{"processReplacing", true}, Row{"process", false}}) {
    SCOPED_TRACE(row.name);
    EngineProbe played, reference;
    TimedMidi().noteOn(5, 64).queueTo(played);
    TimedMidi().noteOn(5, 64).queueTo(reference);
    std::vector<float> left(64, 12345.0f), right(64, -0.0f), refL(64, 0.0f), refR(64, 0.0f);
    if (row.replacing)
      played.processReplacing(left.data(), right.data(), 64);
    else
      played.process(left.data(), right.data(), 64);
    reference.processReplacing(refL.data(), refR.data(), 64);
    for (size_t i = 0; i < 64; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(floatBits(refL[i]), floatBits(refR[i]));
      if (row.replacing) {
        EXPECT_EQ(floatBits(left[i]), floatBits(refL[i]));
        EXPECT_EQ(floatBits(right[i]), floatBits(refR[i]));
      } else {
        EXPECT_EQ(floatBits(left[i]), floatBits(12345.0f + refL[i]));
        // Samples before the note keep even a negative zero; the first rendered one (at the
        // note's offset 5, envelope 0) adds +0.
        EXPECT_EQ(floatBits(right[i]), floatBits(i < 5 ? -0.0f : refR[i]));
      }
    }
    EXPECT_NE(refL[20], 0.0f);
  }
}

// Calls with nothing to render write nothing and keep the queued events for the next block.
TEST(EngineRender, EmptyAndMissingBuffersWriteNothing) {
  EngineProbe p, reference;
  TimedMidi().noteOn(3, 64).queueTo(p);
  TimedMidi().noteOn(3, 64).queueTo(reference);
  float left = 7.0f, right = 7.0f;
  p.processReplacing(&left, &right, 0);
  p.processReplacing(&left, &right, -5);
  p.process(nullptr, nullptr, 1);
  p.processReplacing(&left, nullptr, 1);
  EXPECT_EQ(left, 7.0f);
  EXPECT_EQ(right, 7.0f);
  std::vector<float> out(32), refOut(32), scratch(32);
  p.processReplacing(out.data(), scratch.data(), 32);
  reference.processReplacing(refOut.data(), scratch.data(), 32);
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(floatBits(out[i]), floatBits(refOut[i])) << i;
  EXPECT_NE(out[31], 0.0f);
}

TEST(EngineRender, VeryLowRatesKeepPhasesBounded) {
  EngineProbe p;
  p.setSampleRate(1000.0f);  // note 127 then advances ~1.6 million steps a sample
  p.setParameter(kFB1, 0.0f);
  TimedMidi().noteOn(0, 127).queueTo(p);
  std::vector<float> left(4096), right(4096);
  for (int block = 0; block < 8; ++block) p.processReplacing(left.data(), right.data(), 4096);
  for (float phase : {p.mod1Phase[1], p.mod2Phase[1], p.carrierPhase[1]}) {
    EXPECT_GE(phase, 0.0f);
    EXPECT_LT(phase, 262143.5f);
  }
  for (float s : left) ASSERT_TRUE(std::isfinite(s));
}

// Tiny parameter values never make subnormal samples (slow on every x86, and a trap for hosts),
// and the host's floating-point control state is the same after a render call as before.
TEST(EngineRender, NoSubnormalSampleWhateverTheParameters) {
  struct Row {
    const char* name;
    float all;      // every parameter, unless 0
    float sustain;  // then "S"
  };
  for (const Row& row : {Row{"every parameter 1e-40", 1e-40f, 1e-40f},
                         Row{"every parameter -1e-40", -1e-40f, -1e-40f},
                         Row{"S 1e-40", 0.0f, 1e-40f}, Row{"S 1e-35 (normal)", 0.0f, 1e-35f}}) {
    SCOPED_TRACE(row.name);
    EngineProbe p;
    if (row.all != 0.0f)
      for (int32_t i = 0; i < kNumParams; ++i) p.setParameter(i, row.all);
    p.setParameter(kA, 0.0f);
    p.setParameter(kD, 0.2f);  // 882 samples of decay that sound, then the tiny sustain
    p.setParameter(kS, row.sustain);
    std::vector<float> left(4096), right(4096);
    int sounding = 0;
#if defined(__SSE2__) || defined(_M_X64)
    const unsigned hostState = _mm_getcsr();
#endif
    for (int block = 0; block < 24; ++block) {
      if (block % 8 == 0) TimedMidi().noteOn(0, 40 + block, 100).queueTo(p);
      if (block % 2 == 0) {
        p.processReplacing(left.data(), right.data(), 4096);
      } else {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        p.process(left.data(), right.data(), 4096);
      }
      for (float sample : left) {
        ASSERT_NE(std::fpclassify(sample), FP_SUBNORMAL) << "block " << block;
        sounding += sample != 0.0f;
      }
    }
#if defined(__SSE2__) || defined(_M_X64)
    EXPECT_EQ(_mm_getcsr(), hostState);
#endif
    EXPECT_GT(sounding, 500);
  }
}

// A parameter change at a frame of a block acts from that frame: the instrument's output equals
// the same song rendered in blocks cut at the change frames with the change made between them,
// at every block size; at one frame the change acts before that frame's MIDI.
struct ParameterChangeAt {
  int32_t frame;
  int32_t index;
  float value;  // or a modulation amount
  bool modulation = false;
};

std::vector<float> renderWithChanges(const std::vector<ParameterChangeAt>& changes,
                                     int32_t blockSize, bool splitAtChanges) {
  constexpr int32_t kTotal = 8192;
  TimedMidi song;
  song.noteOn(0, 60).noteOn(1000, 64, 90).noteOn(2500, 67, 40).add(3000, 0xE0, 0, 100);
  song.noteOff(4000, 67).noteOn(6000, 48, 127).add(7000, 0xB0, 123, 0);
  EngineProbe p;
  std::vector<float> left(kTotal), right(kTotal);
  int32_t start = 0;
  while (start < kTotal) {
    int32_t end = std::min(start + blockSize, kTotal);
    if (splitAtChanges) {
      for (const ParameterChangeAt& c : changes)
        if (c.frame == start) {  // between two blocks
          if (c.modulation)
            p.bank().setModulation(c.index, c.value);
          else
            p.bank().setParameter(c.index, c.value);
        }
      for (const ParameterChangeAt& c : changes)
        if (c.frame > start && c.frame < end) end = c.frame;
    } else {
      for (const ParameterChangeAt& c : changes) {
        if (c.frame >= start && c.frame < end) {
          EXPECT_TRUE(c.modulation ? p.queueModulation(c.frame - start, c.index, c.value)
                                   : p.queueParameter(c.frame - start, c.index, c.value));
        }
      }
    }
    for (const MidiAt& m : song.list())
      if (m.frame >= start && m.frame < end)
        p.queueMidi(m.frame - start, m.status, m.data1, m.data2);
    p.processReplacing(left.data() + start, right.data() + start, end - start);
    start = end;
  }
  for (int32_t i = 0; i < kTotal; ++i) EXPECT_EQ(floatBits(left[i]), floatBits(right[i])) << i;
  return left;
}

TEST(Instrument, ParameterChangeAtAFrameEqualsTheSplitRender) {
  struct Row {
    const char* name;
    std::vector<ParameterChangeAt> changes;
  };
  const Row rows[] = {
      {"CutOff mid-note", {{1234, kCutOff, 0.9f}}},
      {"Type at a note-on's frame", {{2500, kType, 1.0f}}},
      {"A at a note-on's frame: the note starts with it", {{2500, kA, 0.9f}}},
      {"Mod1 at a note-on's frame: the note takes its transposition", {{1000, kMod1, 0.95f}}},
      {"FB1 then Mod1 at one frame: retuned with the old transposition",
       {{700, kFB1, 0.8f}, {700, kMod1, 0.9f}}},
      {"Mod2, later FB2 retunes", {{3001, kMod2, 0.2f}, {5000, kFB2, 0.4f}}},
      {"R and S around a note-off", {{3999, kR, 0.9f}, {4000, kS, 0.1f}}},
      {"first and last frames", {{0, kQ, 1.0f}, {8191, kEnv, 0.0f}, {8190, kD, 1.0f}}},
      {"one parameter thrice at a frame: the last wins",
       {{1500, kM1S, 0.0f}, {1500, kM1S, 1.0f}, {1500, kM1S, 0.0f}, {1501, kM2S, 0.0f}}},
      {"CutOff modulated, then back", {{1234, kCutOff, 0.3f, true}, {5000, kCutOff, 0.0f, true}}},
      {"FB1 modulated retunes as its edit would", {{700, kMod1, 0.9f}, {900, kFB1, 0.5f, true}}},
      {"Mod1 modulated at a note-on, CutOff value under its modulation",
       {{1000, kMod1, -0.25f, true}, {2000, kCutOff, -1.0f, true}, {3000, kCutOff, 0.9f}}},
  };
  const std::vector<float> unchanged = renderWithChanges({}, 4096, true);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<float> split = renderWithChanges(row.changes, 4096, true);
    EXPECT_NE(split, unchanged);  // the change is heard
    for (int32_t blockSize : {1, 7, 64, 512, 4096}) {
      SCOPED_TRACE(blockSize);
      const std::vector<float> atFrames = renderWithChanges(row.changes, blockSize, false);
      for (size_t i = 0; i < split.size(); ++i)
        ASSERT_EQ(floatBits(atFrames[i]), floatBits(split[i])) << "sample " << i;
    }
  }
}

// The engine hears value + amount (limited to 0..1) as if the value had been set to that; the
// bank, which hosts, panels and state read, keeps the value itself.
TEST(Instrument, ModulationIsHeardAsThatValueAndLeavesTheBankAlone) {
  struct Row {
    const char* name;
    int32_t index;
    float value, amount, heard;
  };
  const Row rows[] = {
      {"CutOff up", kCutOff, 0.5f, 0.25f, 0.75f},
      {"A down", kA, 0.1f, -0.05f, 0.05f},
      {"limited at 1", kQ, 0.8f, 0.5f, 1.0f},
      {"limited at 0", kEnv, 0.5f, -2.0f, 0.0f},
      {"FB2 up, retuning", kFB2, 0.2f, 0.3f, 0.5f},
      {"Mod2 up a fifth", kMod2, 0.5f, 7.0f / 24.0f, static_cast<float>(0.5 + 7.0 / 24.0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<ParameterChangeAt> start = {{0, row.index, row.value}};
    std::vector<ParameterChangeAt> modulated = start, set = start;
    modulated.push_back({1500, row.index, row.amount, true});
    set.push_back({1500, row.index, row.heard});
    EXPECT_EQ(renderWithChanges(modulated, 512, false), renderWithChanges(set, 512, false));
    EXPECT_NE(renderWithChanges(modulated, 512, false), renderWithChanges(start, 512, false));

    EngineProbe p;
    p.bank().setParameter(row.index, row.value);
    ASSERT_TRUE(p.queueModulation(3, row.index, row.amount));
    std::vector<float> left(64), right(64);
    p.processReplacing(left.data(), right.data(), 64);
    EXPECT_EQ(p.getParameter(row.index), row.value);
    EXPECT_EQ(p.bank().modulation(row.index), row.amount);
    EXPECT_EQ(p.bank().bankImage().programs[0].values[row.index], row.value);
  }
  EngineProbe p;
  EXPECT_FALSE(p.queueModulation(0, kNumParams, 0.5f));
  p.bank().setModulation(kS, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(p.bank().modulation(kS), 0.0f);
}

TEST(Instrument, ParameterChangesOutOfOrderOrPastTheBlock) {
  // Queued in any order, they act by frame (a stable order: at one frame, in queue order); a
  // frame past the block counts as its last; with nothing rendered they are made at once.
  EngineProbe p, reference;
  EXPECT_FALSE(p.queueParameter(0, kNumParams, 0.5f));
  EXPECT_FALSE(p.queueParameter(0, -1, 0.5f));
  TimedMidi().noteOn(0, 60).queueTo(p);
  TimedMidi().noteOn(0, 60).queueTo(reference);
  ASSERT_TRUE(p.queueParameter(300, kCutOff, 0.1f));
  ASSERT_TRUE(p.queueParameter(100, kCutOff, 0.9f));
  ASSERT_TRUE(p.queueParameter(100, kQ, 0.7f));
  ASSERT_TRUE(p.queueParameter(9000, kType, 0.5f));  // past the end: the last sample
  std::vector<float> left(512), right(512), refLeft(512), refRight(512);
  p.processReplacing(left.data(), right.data(), 512);
  reference.processReplacing(refLeft.data(), refRight.data(), 100);
  reference.bank().setParameter(kCutOff, 0.9f);
  reference.bank().setParameter(kQ, 0.7f);
  reference.processReplacing(refLeft.data() + 100, refRight.data() + 100, 200);
  reference.bank().setParameter(kCutOff, 0.1f);
  reference.processReplacing(refLeft.data() + 300, refRight.data() + 300, 211);
  reference.bank().setParameter(kType, 0.5f);
  reference.processReplacing(refLeft.data() + 511, refRight.data() + 511, 1);
  for (size_t i = 0; i < left.size(); ++i) ASSERT_EQ(floatBits(left[i]), floatBits(refLeft[i])) << i;
  EXPECT_EQ(p.getParameter(kType), 0.5f);
  EXPECT_EQ(p.queuedParameters(), 0);

  ASSERT_TRUE(p.queueParameter(10, kCutOff, 0.3f));
  p.processReplacing(left.data(), right.data(), 0);
  EXPECT_EQ(p.getParameter(kCutOff), 0.3f);
  EXPECT_EQ(p.queuedParameters(), 0);
  EngineProbe mapped;  // the engine took the value at once
  mapped.setParameter(kCutOff, 0.3f);
  EXPECT_EQ(p.cutoffCoef, mapped.cutoffCoef);
  EXPECT_NE(p.cutoffCoef, reference.cutoffCoef);
  for (int32_t i = 0; i < VelaInstrument::kParameterChangeCapacity; ++i)
    ASSERT_TRUE(p.queueParameter(i % 64, kCutOff, 0.5f));
  EXPECT_FALSE(p.queueParameter(0, kCutOff, 0.5f));
}

struct FilterRow {
  const char* name;
  int32_t type;
  int32_t input;
  float cutoff;
  int32_t expected;
};

TEST(EngineFilter, EdgeCases) {
  const FilterRow rows[] = {
      {"f 0 low-pass", 0, 65536, 0.0f, 0},
      {"f 0 band-pass", 1, 65536, 0.0f, 0},
      {"f 0 high-pass passes the input", 2, -40000, 0.0f, -40000},
      {"silence low-pass", 0, 0, 0.785f, 0},
      {"silence band-pass", 1, 0, 0.785f, 0},
      {"silence high-pass", 2, 0, 0.785f, 0},
      // high 1000; band 500; low 250; stage 2: high 250, band 125, low round(62.5) = 62
      {"one low-pass step, ties to even", 0, 1000, 0.5f, 62},
      {"one band-pass step", 1, 1000, 0.5f, 250},  // 500 -> band 250
      {"one high-pass step", 2, 1000, 0.5f, 1000},
  };
  for (const FilterRow& row : rows) {
    SCOPED_TRACE(row.name);
    EngineProbe p;
    p.setParameter(kType, static_cast<float>(row.type) / 2.0f);
    TimedMidi().noteOn(0, 60).sendTo(p);
    EXPECT_EQ(p.filterVoice(1, row.input, row.cutoff), row.expected);
  }
}

TEST(EngineFilter, ResonanceStaysWithin32Bits) {
  // Q = 1 (damping 0.03) driven at the stages' resonance: stage 2 rings up to ~33x the input.
  EngineProbe p;
  p.setParameter(kQ, 1.0f);
  p.setParameter(kType, 0.5f);
  TimedMidi().noteOn(0, 60).sendTo(p);
  const float f = 0.05f;
  const double w = 2.0 * std::asin(0.025);  // resonance of this state-variable form
  int32_t peak = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto x = static_cast<int32_t>(std::lround(65536.0 * std::sin(w * i)));
    const int32_t y = p.filterVoice(1, x, f);
    peak = std::max(peak, std::abs(y));
  }
  EXPECT_GT(peak, 65536 * 20);
  EXPECT_LT(peak, 1 << 26);  // far below the 2^29 that keeps the double products exact
}

TEST(EngineFilter, TypeChangeSwitchesTapsWithoutClearing) {
  EngineProbe p;
  TimedMidi().noteOn(0, 60).sendTo(p);
  p.filterVoice(1, 30000, 0.3f);
  const int32_t b1 = p.filterBand[1][0], l1 = p.filterLow[1][0];
  const int32_t b2 = p.filterBand[1][1], l2 = p.filterLow[1][1];
  p.setParameter(kType, 1.0f);  // high-pass
  EXPECT_EQ(p.filterBand[1][0], b1);
  EXPECT_EQ(p.filterLow[1][1], l2);
  // Both stages now hand on their high-pass value.
  const int32_t high1 = 30000 - b1 - l1;
  EXPECT_EQ(p.filterVoice(1, 30000, 0.3f), high1 - exactRoundProduct(b2, p.dampingCoef) - l2);
}

}  // namespace
