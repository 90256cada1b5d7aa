// The synthesizer's own answers to the interface layer: what a construction without a host
// leaves in the record, what the combined rate opcode touches.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "MidiList.h"
#include "Tuning.h"
#include "VelaVendorCalls.h"
#include "uVSTXSynth.h"

namespace {

class RecordingSynth : public AVstXSynth {
 public:
  explicit RecordingSynth(audioMasterCallback master) : AVstXSynth(master) {}
  using AVstXSynth::sampleRate;

  std::vector<float> render(int32_t frames) {
    std::vector<float> left(static_cast<size_t>(frames), 1e9f), right(left);
    float* outputs[2] = {left.data(), right.data()};
    processReplacing(nullptr, outputs, frames);
    return left;
  }
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
  RecordingSynth combined(nullptr), alone(nullptr), other(nullptr);
  alone.setSampleRate(96000.0f);
  EXPECT_EQ(combined.dispatcher(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
  EXPECT_EQ(combined.sampleRate, 96000.0f);
  EXPECT_EQ(combined.getBlockSize(), 256);
  for (RecordingSynth* synth : {&combined, &alone, &other}) MidiList().noteOn(3, 69).sendTo(*synth);
  const std::vector<float> heard = combined.render(512);
  EXPECT_EQ(std::memcmp(heard.data(), alone.render(512).data(), 512 * sizeof(float)), 0);
  EXPECT_NE(std::memcmp(heard.data(), other.render(512).data(), 512 * sizeof(float)), 0);
}

// processEvents takes what a host may hand in: no list, a negative count, empty slots, events
// of other types; none of it plays, and the answer is 1 every time.
TEST(SynthEvents, MalformedListsPlayNothing) {
  RecordingSynth p(nullptr);
  EXPECT_EQ(p.processEvents(nullptr), 1);
  MidiList list;
  list.noteOn(0, 60);
  VstEvents* events = list.list();
  events->numEvents = -3;
  EXPECT_EQ(p.processEvents(events), 1);
  events->numEvents = 1;
  events->events[0] = nullptr;
  EXPECT_EQ(p.processEvents(events), 1);
  MidiList sysex;
  sysex.add(0, 0x90, 60, 100);
  VstEvents* other = sysex.list();
  other->events[0]->type = 6;
  EXPECT_EQ(p.processEvents(other), 1);
  EXPECT_EQ(MidiList().sendTo(p), 1);
  for (float sample : p.render(256)) ASSERT_EQ(sample, 0.0f);
  EXPECT_EQ(MidiList().noteOn(0, 60).sendTo(p), 1);  // and a good one still plays
  EXPECT_NE(p.render(256)[255], 0.0f);
}

// A list longer than the engine's queue keeps its first events.
TEST(SynthEvents, AnOverlongListKeepsItsFirstEvents) {
  RecordingSynth full(nullptr), first(nullptr);
  MidiList longList, firstOnly;
  for (int32_t i = 0; i < VelaEngine::kEventCapacity; ++i) {
    longList.noteOn(i % 512, 40 + i % 50);
    firstOnly.noteOn(i % 512, 40 + i % 50);
  }
  longList.add(600, 0xB0, 120, 0);  // would silence the end of the block
  EXPECT_EQ(longList.sendTo(full), 1);
  firstOnly.sendTo(first);
  const std::vector<float> heard = full.render(1024);
  EXPECT_EQ(std::memcmp(heard.data(), first.render(1024).data(), 1024 * sizeof(float)), 0);
  EXPECT_NE(heard[700], 0.0f);
}


// Our tools' tuning call: taken only with our index, call and record; a refusal says why and
// changes nothing; the default files bring back the bits of an instance that never had one.
TEST(SynthVendorCalls, TheTuningCallTakesOurRecordOnly) {
  using namespace vela::vendor;
  const auto record = [](const std::vector<uint8_t>& bytes) {
    TuningRecord r{};
    r.recordSize = sizeof r;
    r.byteCount = static_cast<uint32_t>(bytes.size());
    r.bytes = bytes.data();
    return r;
  };
  const std::vector<uint8_t> halfSteps =
      encodeTuning({ScalaText{"q.scl", "quarter tones\n1\n50.0\n"}, std::nullopt});
  const std::vector<uint8_t> none = encodeTuning({});
  const std::vector<uint8_t> bad = encodeTuning({ScalaText{"bad.scl", "d\n2\n50.0\n"}, std::nullopt});
  // A fresh note after all sound off: what a block holds depends on the tuning alone.
  const auto play = [](RecordingSynth& s) {
    MidiList().add(0, 0xB0, 120, 0).noteOn(0, 72).sendTo(s);
    return s.render(512);
  };
  RecordingSynth fresh(nullptr), synth(nullptr);
  const std::vector<float> expected = play(fresh);

  TuningRecord good = record(halfSteps);
  EXPECT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex + 1, kSetTuning, &good, 0.0f), 0);
  EXPECT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning + 1, &good, 0.0f), 0);
  EXPECT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, nullptr, 0.0f), 0);
  TuningRecord otherSize = good;
  otherSize.recordSize -= 1;
  EXPECT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &otherSize, 0.0f), -1);
  EXPECT_EQ(play(synth), expected) << "a call refused or not ours changed the tuning";

  ASSERT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &good, 0.0f), 1);
  EXPECT_STREQ(good.error, "");
  const std::vector<float> quarter = play(synth);
  EXPECT_NE(quarter, expected);
  const std::vector<uint8_t> cut(bad.begin(), bad.end() - 1);
  for (TuningRecord refused : {record(bad), record(cut)}) {
    EXPECT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &refused, 0.0f), -1);
    EXPECT_NE(refused.error[0], '\0');
    EXPECT_EQ(play(synth), quarter);
  }
  TuningRecord refused = record(bad);
  synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &refused, 0.0f);
  EXPECT_STREQ(refused.error, "bad.scl:2: 2 pitches announced, 1 given");

  TuningRecord back = record(none);
  ASSERT_EQ(synth.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &back, 0.0f), 1);
  RecordingSynth again(nullptr);
  ASSERT_EQ(again.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &good, 0.0f), 1);
  ASSERT_EQ(again.dispatcher(effVendorSpecific, kVendorIndex, kSetTuning, &back, 0.0f), 1);
  EXPECT_EQ(play(again), expected);
}

}  // namespace
