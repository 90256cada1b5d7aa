// Whatever a host passes through the record, the plug-in answers and stays usable.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "DAEffectX.h"
#include "PluginLoader.h"
#include "RecordingHost.h"

namespace {

TEST(Robustness, EveryOpcodeWithHostileArguments) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  RecordingHost::instance().reset();
  AEffect* effect = builtPlugin().entry("main")(&RecordingHost::callback);
  ASSERT_NE(effect, nullptr);

  const int32_t indices[] = {INT32_MIN, -1, 0, 1, 13, 14, 31, 32, INT32_MAX};
  const intptr_t values[] = {INT32_MIN, -1, 0, 1, 31, 32, INT32_MAX};
  const float opts[] = {0.0f, -1.0f, 1e30f, NAN, INFINITY};
  // A zeroed buffer, larger than any record or text an opcode writes, stands in for the host's.
  alignas(16) unsigned char buffer[4096];
  for (int32_t opcode = -3; opcode <= 72; ++opcode) {
    if (opcode == effClose || opcode == effEditOpen) continue;  // covered by the editor tests
    for (int32_t index : indices)
      for (intptr_t value : values)
        for (float opt : opts) {
          std::memset(buffer, 0, sizeof buffer);
          // Opcodes that read `value` as a pointer get a null one.
          intptr_t v = opcode == effSetSpeakerArrangement ? 0 : value;
          dispatch(effect, opcode, index, v, buffer, opt);
        }
  }
  for (int32_t index : indices) {
    for (float value : {-1e30f, -1.0f, 0.5f, 2.0f, NAN, INFINITY, -INFINITY})
      effect->setParameter(effect, index, value);
    (void)effect->getParameter(effect, index);
  }

  // Still a working synthesizer: back to sane settings, a note renders finite audio.
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  dispatch(effect, effSetBlockSize, 0, 256);
  dispatch(effect, effSetProgram, 0, 2);
  dispatch(effect, effSetProgram, 0, 1);
  EXPECT_EQ(dispatch(effect, effGetProgram), 1);
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = static_cast<int32_t>(sizeof note);
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&note);
  dispatch(effect, effProcessEvents, 0, 0, &events);
  std::vector<float> left(256, 7.0f), right(256, 7.0f);
  float* outputs[2] = {left.data(), right.data()};
  bool sound = false;
  for (int block = 0; block < 8; ++block) {
    effect->processReplacing(effect, nullptr, outputs, 256);
    for (size_t i = 0; i < left.size(); ++i) {
      ASSERT_TRUE(std::isfinite(left[i])) << block << ':' << i;
      ASSERT_EQ(left[i], right[i]);
      sound = sound || left[i] != 0.0f;
    }
  }
  EXPECT_TRUE(sound);
  for (int32_t frames : {0, -1, INT32_MIN}) effect->processReplacing(effect, nullptr, outputs, frames);
  EXPECT_EQ(dispatch(effect, effClose), 1);
}

}  // namespace
