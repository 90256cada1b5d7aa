// The descriptor and event records as hosts read them, byte for byte.
#include <gtest/gtest.h>

#include <cstddef>

#include "DAEffectX.h"

namespace {

struct FieldOffset {
  const char* name;
  size_t actual;
  size_t expected32;
  size_t expected64;
};

#define VELA_FIELD(record, field, off32, off64) {#field, offsetof(record, field), off32, off64}

TEST(RecordLayout, AEffectFieldsSitWhereHostsReadThem) {
  const FieldOffset fields[] = {
      VELA_FIELD(AEffect, magic, 0, 0),
      VELA_FIELD(AEffect, dispatcher, 4, 8),
      VELA_FIELD(AEffect, process, 8, 16),
      VELA_FIELD(AEffect, setParameter, 12, 24),
      VELA_FIELD(AEffect, getParameter, 16, 32),
      VELA_FIELD(AEffect, numPrograms, 20, 40),
      VELA_FIELD(AEffect, numParams, 24, 44),
      VELA_FIELD(AEffect, numInputs, 28, 48),
      VELA_FIELD(AEffect, numOutputs, 32, 52),
      VELA_FIELD(AEffect, flags, 36, 56),
      VELA_FIELD(AEffect, resvd1, 40, 64),
      VELA_FIELD(AEffect, resvd2, 44, 72),
      VELA_FIELD(AEffect, initialDelay, 48, 80),
      VELA_FIELD(AEffect, realQualities, 52, 84),
      VELA_FIELD(AEffect, offQualities, 56, 88),
      VELA_FIELD(AEffect, ioRatio, 60, 92),
      VELA_FIELD(AEffect, object, 64, 96),
      VELA_FIELD(AEffect, user, 68, 104),
      VELA_FIELD(AEffect, uniqueID, 72, 112),
      VELA_FIELD(AEffect, version, 76, 116),
      VELA_FIELD(AEffect, processReplacing, 80, 120),
      VELA_FIELD(AEffect, future, 84, 128),
  };
  const bool is32 = sizeof(void*) == 4;
  for (const FieldOffset& f : fields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(f.actual, is32 ? f.expected32 : f.expected64);
  }
  EXPECT_EQ(sizeof(AEffect::future), 60u);
  EXPECT_EQ(sizeof(AEffect), is32 ? 144u : 192u);
}

TEST(RecordLayout, EventAndPinRecords) {
  const bool is32 = sizeof(void*) == 4;
  const FieldOffset fields[] = {
      VELA_FIELD(VstEvents, numEvents, 0, 0),
      VELA_FIELD(VstEvents, reserved, 4, 8),
      VELA_FIELD(VstEvents, events, 8, 16),
      VELA_FIELD(VstMidiEvent, type, 0, 0),
      VELA_FIELD(VstMidiEvent, byteSize, 4, 4),
      VELA_FIELD(VstMidiEvent, deltaFrames, 8, 8),
      VELA_FIELD(VstMidiEvent, flags, 12, 12),
      VELA_FIELD(VstMidiEvent, noteLength, 16, 16),
      VELA_FIELD(VstMidiEvent, noteOffset, 20, 20),
      VELA_FIELD(VstMidiEvent, midiData, 24, 24),
      VELA_FIELD(VstMidiEvent, detune, 28, 28),
      VELA_FIELD(VstMidiEvent, noteOffVelocity, 29, 29),
      VELA_FIELD(VstMidiEvent, reserved1, 30, 30),
      VELA_FIELD(VstMidiEvent, reserved2, 31, 31),
      VELA_FIELD(VstPinProperties, label, 0, 0),
      VELA_FIELD(VstPinProperties, flags, 64, 64),
      VELA_FIELD(VstPinProperties, arrangementType, 68, 68),
      VELA_FIELD(VstPinProperties, shortLabel, 72, 72),
      VELA_FIELD(VstPinProperties, future, 80, 80),
      VELA_FIELD(VstKeyCode, character, 0, 0),
      VELA_FIELD(VstKeyCode, virt, 4, 4),
      VELA_FIELD(VstKeyCode, modifier, 5, 5),
      VELA_FIELD(ERect, top, 0, 0),
      VELA_FIELD(ERect, left, 2, 2),
      VELA_FIELD(ERect, bottom, 4, 4),
      VELA_FIELD(ERect, right, 6, 6),
  };
  for (const FieldOffset& f : fields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(f.actual, is32 ? f.expected32 : f.expected64);
  }
  EXPECT_EQ(sizeof(VstMidiEvent), 32u);
  EXPECT_EQ(sizeof(VstPinProperties), 128u);
  EXPECT_EQ(sizeof(VstKeyCode), 6u);
  EXPECT_EQ(sizeof(ERect), 8u);
}

}  // namespace
