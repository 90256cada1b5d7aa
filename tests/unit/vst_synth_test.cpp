// The synthesizer's own answers to the interface layer: what a construction without a host
// leaves in the record, what the combined rate opcode touches.
#include <gtest/gtest.h>

#include "uVSTXSynth.h"

namespace {

class RecordingSynth : public AVstXSynth {
 public:
  explicit RecordingSynth(audioMasterCallback master) : AVstXSynth(master) {}
  using AVstXSynth::phaseRateFactor;
  using AVstXSynth::sampleRate;
};

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

TEST(SynthRates, CombinedOpcodeSetsTheRateLikeItsOwnOpcode) {
  RecordingSynth combined(nullptr), alone(nullptr);
  alone.setSampleRate(96000.0f);
  EXPECT_EQ(combined.dispatcher(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
  EXPECT_EQ(combined.sampleRate, 96000.0f);
  EXPECT_EQ(combined.getBlockSize(), 256);
  EXPECT_EQ(combined.phaseRateFactor, alone.phaseRateFactor);
  EXPECT_EQ(combined.phaseRateFactor, 1.3653333f);
}

}  // namespace
