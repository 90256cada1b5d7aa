// The synthesizer's own answers to the interface layer: how a program is replayed, what a
// construction without a host leaves in the record, what the combined rate opcode touches.
#include <gtest/gtest.h>

#include <vector>

#include "uVSTXSynth.h"

namespace {

class RecordingSynth : public AVstXSynth {
 public:
  explicit RecordingSynth(audioMasterCallback master) : AVstXSynth(master) {}
  void setParameter(int32_t index, float value) override {
    seen.push_back(index);
    AVstXSynth::setParameter(index, value);
  }
  std::vector<int32_t> seen;
  using AVstXSynth::phaseRateFactor;
  using AVstXSynth::sampleRate;
};

TEST(SynthPrograms, SetProgramReplaysTheRecordInItsOwnOrder) {
  RecordingSynth synth(nullptr);
  synth.setProgram(1);
  // cutOff, q, type, env, then mod1..r, then the two switches: later mappings rely on earlier ones.
  const std::vector<int32_t> order = {8, 9, 10, 11, 0, 1, 2, 3, 4, 5, 6, 7, 12, 13};
  EXPECT_EQ(synth.seen, order);
  EXPECT_EQ(synth.getProgram(), 1);
  EXPECT_EQ(synth.getParameter(kMod1), 5.0f / 24.0f);
  EXPECT_EQ(synth.getParameter(kR), 0.24f);
}

TEST(SynthConstruction, WithoutAHostTheRecordKeepsTheBaseDefaults) {
  RecordingSynth synth(nullptr);
  const AEffect* e = synth.getAeffect();
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->uniqueID, 0x4E6F4566);  // 'NoEf'
  EXPECT_EQ(e->flags & ~effFlagsHasEditor, 0);
  EXPECT_EQ(synth.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategUnknown);
  // Programs and live values are built all the same.
  EXPECT_EQ(synth.getProgram(), 0);
  EXPECT_EQ(synth.getParameter(kCutOff), 0.5f);
  char name[24] = {};
  EXPECT_TRUE(synth.getProgramNameIndexed(0, 1, name));
  EXPECT_STREQ(name, "Eth Drm");
}

TEST(SynthRates, CombinedOpcodeStoresTheRateButKeepsThePhaseRate) {
  RecordingSynth synth(nullptr);
  synth.setSampleRate(48000.0f);
  const float phaseRate = synth.phaseRateFactor;
  EXPECT_EQ(synth.dispatcher(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
  EXPECT_EQ(synth.sampleRate, 96000.0f);
  EXPECT_EQ(synth.getBlockSize(), 256);
  EXPECT_EQ(synth.phaseRateFactor, phaseRate);
}

}  // namespace
