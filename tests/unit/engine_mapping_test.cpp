// Parameter-to-coefficient mapping, sample-rate handling and voice pitch.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine_probe.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(EngineMapping, FreshInstanceState) {
  EngineProbe p;
  EXPECT_EQ(p.phaseRateFactor, 2.9721541f);
  EXPECT_EQ(p.pitchBend, 1.0f);
  EXPECT_EQ(p.maxVoice, 1);
  EXPECT_EQ(p.nextVoice, 0);
  // Program 0's defaults went through the mapping at 44100 Hz.
  // 0.1f lies just above 0.1, so 0.1f^2 * 22050 = 220.500007 rounds up.
  EXPECT_EQ(p.attackSamples, 221);
  EXPECT_EQ(p.releaseSamples, 451);
}

struct MappingRow {
  int32_t index;
  float value;
  const char* field;
  double expected;
};

double fieldOf(EngineProbe& p, const char* field) {
  const std::string f = field;
  if (f == "mod1Offset") return p.mod1Offset;
  if (f == "mod2Offset") return p.mod2Offset;
  if (f == "fb1Amount") return p.fb1Amount;
  if (f == "fb2Amount") return p.fb2Amount;
  if (f == "attackSamples") return p.attackSamples;
  if (f == "decaySamples") return p.decaySamples;
  if (f == "releaseSamples") return p.releaseSamples;
  if (f == "cutoffCoef") return p.cutoffCoef;
  if (f == "dampingCoef") return p.dampingCoef;
  if (f == "filterType") return p.filterType;
  if (f == "mod1Sync") return p.mod1Sync;
  if (f == "mod2Sync") return p.mod2Sync;
  if (f == "sustainLevel") return p.sustainLevel;
  if (f == "envAmount") return p.envAmount;
  ADD_FAILURE() << "unknown field " << f;
  return 0;
}

TEST(EngineMapping, ValuesMapAsDesignedAt44100) {
  const MappingRow rows[] = {
      {kMod1, 0.0f, "mod1Offset", -12},
      {kMod1, 0.5f, "mod1Offset", 0},
      {kMod1, 1.0f, "mod1Offset", 12},
      {kMod2, 0.25f, "mod2Offset", -6},
      {kMod2, 0.52f, "mod2Offset", 0},  // 0.48 semitones rounds to 0
      {kFB1, 0.5f, "fb1Amount", 0.25},
      {kFB2, 1.0f, "fb2Amount", 1.0},
      {kA, 0.0f, "attackSamples", 0},
      {kA, 1.0f, "attackSamples", 22050},
      {kD, 0.0f, "decaySamples", 0},
      {kD, 1.0f, "decaySamples", 22050},
      {kR, 0.0f, "releaseSamples", 10},
      {kR, 1.0f, "releaseSamples", 44110},
      {kCutOff, 0.5f, "cutoffCoef", static_cast<float>(0.3 * 60000.0 / 44100.0)},
      {kCutOff, 0.0f, "cutoffCoef", static_cast<float>(0.05 * 60000.0 / 44100.0)},
      {kQ, 0.0f, "dampingCoef", 1.2f},
      {kQ, 1.0f, "dampingCoef", static_cast<float>(1.2 - 1.17)},
      // The LV2 port's scale points: exactly the three types.
      {kType, 0.0f, "filterType", 0},
      {kType, 0.5f, "filterType", 1},
      {kType, 1.0f, "filterType", 2},
      {kType, 0.25f, "filterType", 0},  // 0.5 rounds to even
      {kType, 0.26f, "filterType", 1},
      {kType, 0.74f, "filterType", 1},
      {kType, 0.75f, "filterType", 2},  // 1.5 rounds to even
      {kM1S, 0.5f, "mod1Sync", 0},
      {kM1S, 0.51f, "mod1Sync", 1},
      {kM2S, 0.49f, "mod2Sync", 0},
      {kM2S, 1.0f, "mod2Sync", 1},
  };
  for (const MappingRow& row : rows) {
    SCOPED_TRACE(testing::Message() << "index " << row.index << " value " << row.value);
    EngineProbe p;
    p.setParameter(row.index, row.value);
    EXPECT_EQ(fieldOf(p, row.field), row.expected);
  }
}

TEST(EngineMapping, OutOfRangeValuesAreLimitedButStoredAsGiven) {
  struct Row {
    float given, actsAs;
  };
  const Row rows[] = {{-0.5f, 0.0f}, {1.5f, 1.0f}, {kNaN, 0.0f}, {kInf, 1.0f}, {-kInf, 0.0f}};
  const char* fields[kNumParams] = {
      "mod1Offset",   "mod2Offset",   "fb1Amount",      "fb2Amount",  "attackSamples",
      "decaySamples", "sustainLevel", "releaseSamples", "cutoffCoef", "dampingCoef",
      "filterType",   "envAmount",    "mod1Sync",       "mod2Sync"};
  for (const Row& row : rows) {
    for (int32_t index = 0; index < kNumParams; ++index) {
      SCOPED_TRACE(testing::Message() << "index " << index << " value " << row.given);
      EngineProbe limited, reference;
      limited.setParameter(index, row.given);
      reference.setParameter(index, row.actsAs);
      EXPECT_EQ(fieldOf(limited, fields[index]), fieldOf(reference, fields[index]));
      const float back = limited.getParameter(index);
      EXPECT_EQ(floatBits(back), floatBits(row.given));
    }
  }
}

// A rate set after the parameters gives every coefficient and every
// sounding voice's increments that setting the rate first would have given.
TEST(EngineMapping, SampleRateRederivesEverythingFromIt) {
  for (const float rate : {22050.0f, 48000.0f, 96000.0f}) {
    {
      SCOPED_TRACE(rate);
      EngineProbe late, early;
      early.setSampleRate(rate);
      for (EngineProbe* p : {&late, &early}) {
        for (const int32_t index : {kA, kD, kR, kCutOff, kFB1}) p->setParameter(index, 0.7f);
        TimedMidi().noteOn(0, 69).noteOn(0, 81).sendTo(*p);
      }
      late.setSampleRate(rate);
      EXPECT_EQ(late.phaseRateFactor, static_cast<float>(131072.0 / rate));
      EXPECT_EQ(late.attackSamples, early.attackSamples);
      EXPECT_EQ(late.decaySamples, early.decaySamples);
      EXPECT_EQ(late.releaseSamples, early.releaseSamples);
      EXPECT_EQ(late.cutoffCoef, early.cutoffCoef);
      EXPECT_EQ(late.attackSamples, std::lround(0.49 * rate * 0.5));
      for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(late.carrierInc[n], early.carrierInc[n]);
        EXPECT_EQ(late.mod1Inc[n], early.mod1Inc[n]);
      }
      EXPECT_NEAR(late.carrierInc[1] * rate / 131072.0f, 440.0f, 1e-3);  // still A4 in hertz
    }
  }
  EngineProbe p;
  p.setSampleRate(48000.0f);
  const int32_t attack = p.attackSamples;
  for (float bad : {0.0f, -44100.0f, kNaN, kInf, -kInf}) {
    SCOPED_TRACE(bad);
    p.setSampleRate(bad);
    EXPECT_EQ(p.sampleRate, 48000.0f);
    EXPECT_EQ(p.phaseRateFactor, 2.7306666f);
    EXPECT_EQ(p.attackSamples, attack);
  }
}

TEST(EngineMapping, StageLengthsSaturateAtAbsurdRates) {
  EngineProbe p;
  p.setSampleRate(3e38f);
  p.setParameter(kR, 1.0f);
  p.setParameter(kA, 1.0f);
  EXPECT_EQ(p.attackSamples, 1 << 30);
  EXPECT_EQ(p.releaseSamples, (1 << 30) + 10);
}

TEST(EngineMapping, NoteOnSetsGainKeyTrackAndPitch) {
  EngineProbe p;
  p.setParameter(kMod1, 1.0f);  // +12
  p.setParameter(kMod2, 0.0f);  // -12
  p.noteOn(1, 69, 127);
  EXPECT_EQ(p.voiceGain[1], 1.7e-6f);
  EXPECT_EQ(p.keyTrack[1], static_cast<float>(255.0 * 69.0 / 32768.0));
  const float* hz = synthTables().noteFrequencyTable;
  EXPECT_EQ(p.carrierInc[1], static_cast<float>(440.0 * static_cast<double>(2.9721541f)));
  EXPECT_EQ(p.mod1Inc[1], static_cast<float>(static_cast<double>(hz[81]) * 2.9721541f));
  EXPECT_EQ(p.mod2Inc[1], static_cast<float>(static_cast<double>(hz[57]) * 2.9721541f));
  // The transposed note wraps around the table.
  p.noteOn(0, 120, 1);
  EXPECT_EQ(p.mod1Inc[0], static_cast<float>(static_cast<double>(hz[4]) * 2.9721541f));
  p.noteOn(0, 5, 1);
  EXPECT_EQ(p.mod2Inc[0], static_cast<float>(static_cast<double>(hz[121]) * 2.9721541f));
  EXPECT_EQ(p.voiceGain[0], static_cast<float>(1.0 / 127.0 * 0.17 * 0.00001));
}

TEST(EngineMapping, ModulatorTransposeWaitsForARetune) {
  EngineProbe p;
  p.noteOn(1, 60, 100);
  const float before = p.mod1Inc[1];
  p.setParameter(kMod1, 1.0f);
  EXPECT_EQ(p.mod1Inc[1], before);
  p.setParameter(kFB2, 0.0f);  // any feedback change retunes every playing slot
  EXPECT_EQ(p.mod1Inc[1], p.carrierInc[1] * 2.0f);
  EXPECT_NE(p.mod1Inc[1], before);
}

// Edits made between two audio calls are applied at the next one, with the result of applying
// each at once: a retune uses the transposition in force when it was asked for.
TEST(EngineMapping, EditsHandedOverKeepTheirOrder) {
  struct Row {
    const char* name;
    bool mod1First;  // "Mod1" = 1 (+12) set before the retuning change, or after it
    bool program;    // the retuning change: program 1 ("Eth Drm", Mod1 -7), or "FB2"
    int32_t heard;   // the transposition the sounding voice plays afterwards
  };
  for (const Row& row : {Row{"Mod1, then FB2", true, false, 12}, Row{"FB2, then Mod1", false, false, 0},
                         Row{"program 1, then Mod1", false, true, -7}}) {
    SCOPED_TRACE(row.name);
    EngineProbe p;
    TimedMidi().noteOn(0, 60).sendTo(p);
    p.deferEdits = true;
    if (row.mod1First) p.setParameter(kMod1, 1.0f);
    if (row.program)
      p.setProgram(1);
    else
      p.setParameter(kFB2, 0.0f);
    if (!row.mod1First) p.setParameter(kMod1, 1.0f);
    p.audioCall();
    EXPECT_EQ(p.mod1Offset, 12);
    const double hz = synthTables().noteFrequencyTable[60 + row.heard];
    EXPECT_EQ(p.mod1Inc[1], static_cast<float>(hz * static_cast<double>(p.phaseRateFactor)));
  }
}

TEST(EngineMapping, CutoffCoefficientWorkedValues) {
  EngineProbe p;
  p.setParameter(kCutOff, 0.5f);
  p.noteOn(0, 69, 127);
  const float f = cutoffCoefficient(1.0f, 0.5f, p.cutoffCoef, p.keyTrack[0]);
  EXPECT_NEAR(f, 0.2411, 5e-5);
  p.noteOn(1, 0, 127);
  EXPECT_EQ(cutoffCoefficient(1.0f, 0.5f, p.cutoffCoef, p.keyTrack[1]), 0.0f);
  EXPECT_EQ(cutoffCoefficient(1.0f, 0.0f, 100.0f, 1.0f), static_cast<float>(0.785));
  // Env 0: the envelope has no effect (factor 1.1); Env 1 spans 0.1 .. 1.1.
  EXPECT_EQ(cutoffCoefficient(0.0f, 0.0f, 0.5f, 0.5f), cutoffCoefficient(1.0f, 0.0f, 0.5f, 0.5f));
  EXPECT_EQ(cutoffCoefficient(0.0f, 1.0f, 0.5f, 0.5f), static_cast<float>((1.1 - 1.0) * 0.25));
}

}  // namespace
