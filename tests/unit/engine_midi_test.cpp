// MIDI intake and voice allocation through processEvents.
#include <gtest/gtest.h>

#include <limits>

#include "engine_probe.h"

namespace {

TEST(EngineMidi, NotesAlternateSlotsAndReleaseThePreviousOne) {
  EngineProbe p;
  EXPECT_EQ(MidiList().noteOn(3, 60, 100).sendTo(p), 1);
  EXPECT_EQ(p.nextVoice, 1);  // the first note takes slot 1
  EXPECT_EQ(p.voiceNote[1], 60);
  EXPECT_EQ(p.voiceVelocity[1], 100);
  EXPECT_EQ(p.startDelay[1], 3);
  EXPECT_EQ(p.envState[1], 1);
  EXPECT_EQ(p.noteOffCountdown[1], -1);

  MidiList().noteOn(7, 60, 90).sendTo(p);  // same key: other slot, first one released
  EXPECT_EQ(p.nextVoice, 0);
  EXPECT_EQ(p.voiceNote[0], 60);
  EXPECT_EQ(p.noteOffCountdown[1], 7);
  EXPECT_EQ(p.noteOffCountdown[0], -1);
}

TEST(EngineMidi, NoteOffFormsAndTheirTiming) {
  struct Row {
    const char* name;
    int status, velocity;
  };
  for (const Row& row : {Row{"note off", 0x80, 64}, Row{"note on, velocity 0", 0x90, 0},
                         Row{"note off on channel 16", 0x8F, 0}}) {
    SCOPED_TRACE(row.name);
    EngineProbe p;
    MidiList().noteOn(0, 64).sendTo(p);
    MidiList().add(12, row.status, 64, row.velocity).sendTo(p);
    EXPECT_EQ(p.noteOffCountdown[1], 12);
    EXPECT_EQ(p.envState[1], 1);
  }
}

TEST(EngineMidi, NoteOffLeavesOtherNotesAndReleasingVoicesAlone) {
  EngineProbe p;
  MidiList().noteOn(0, 64).sendTo(p);
  MidiList().noteOff(5, 65).sendTo(p);
  EXPECT_EQ(p.noteOffCountdown[1], -1);
  p.envState[1] = 4;
  MidiList().noteOff(5, 64).sendTo(p);
  EXPECT_EQ(p.noteOffCountdown[1], -1);
}

// A release already due at an earlier sample is kept, whatever later event of the list (or of a
// later list, for a countdown still running) asks for a later one.
TEST(EngineMidi, AReleaseIsNeverPostponed) {
  struct Row {
    const char* name;
    MidiList events;
    int32_t countdown;  // of the first note, slot 1
  };
  Row rows[] = {
      {"note off, later note off", MidiList().noteOff(3, 50).noteOff(9, 50), 3},
      {"note off, earlier note off", MidiList().noteOff(9, 50).noteOff(2, 50), 2},
      {"note off, then the next note", MidiList().noteOff(3, 50).noteOn(8, 52), 3},
      {"next note, then all notes off", MidiList().noteOn(4, 52).add(6, 0xB0, 123, 0), 4},
      {"all notes off, then note off", MidiList().add(5, 0xB2, 123, 0).noteOff(7, 50), 5},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    EngineProbe p;
    MidiList().noteOn(0, 50).sendTo(p);
    row.events.sendTo(p);
    EXPECT_EQ(p.noteOffCountdown[1], row.countdown);
    EXPECT_EQ(p.envState[1], 1);
  }
}

// Panic and transport-stop controllers, on any channel.
TEST(EngineMidi, AllNotesOffReleasesHeldVoicesAsTheirNoteOffs) {
  EngineProbe p, reference;
  MidiList().noteOn(0, 50).noteOn(0, 52).sendTo(p);
  MidiList().noteOn(0, 50).noteOn(0, 52).sendTo(reference);
  p.envState[1] = 4;  // the released note keeps its release
  reference.envState[1] = 4;
  MidiList().add(7, 0xBF, 123, 0).sendTo(p);
  MidiList().noteOff(7, 52).noteOff(7, 50).sendTo(reference);
  for (int n = 0; n < 2; ++n) {
    EXPECT_EQ(p.noteOffCountdown[n], reference.noteOffCountdown[n]);
    EXPECT_EQ(p.envState[n], reference.envState[n]);
  }
  EXPECT_EQ(p.noteOffCountdown[0], 7);
}

TEST(EngineMidi, NegativeDeltaMeansNow) {
  EngineProbe p;
  MidiList().noteOn(-20, 50).sendTo(p);
  EXPECT_EQ(p.startDelay[1], 0);
  MidiList().noteOff(-1, 50).sendTo(p);
  EXPECT_EQ(p.noteOffCountdown[1], 0);  // still released, not left pending forever
}

TEST(EngineMidi, SoundOffControllersSilenceAtOnceAndKeepTimers) {
  for (const int controller : {126, 120}) {
    SCOPED_TRACE(controller);
    EngineProbe p;
    MidiList().noteOn(0, 50).noteOn(30, 52).sendTo(p);
    MidiList().add(0, 0xB3, controller, 0).sendTo(p);
    EXPECT_EQ(p.envState[0], 0);
    EXPECT_EQ(p.envState[1], 0);
    EXPECT_EQ(p.startDelay[0], 30);
    EXPECT_EQ(p.noteOffCountdown[1], 30);
  }
  EngineProbe p;
  MidiList().add(0, 0xB0, 7, 100).add(0, 0xB0, 127, 0).noteOn(0, 60).add(0, 0xB0, 122, 0)
      .sendTo(p);  // others ignored
  EXPECT_EQ(p.envState[1], 1);
}

TEST(EngineMidi, PitchBendUsesOnlyTheHighByteAndRetunesAllVoices) {
  struct Row {
    int data2;
    float bend;
  };
  // data2 -1: a bend to the top, then controller 121 (reset all controllers) centres it.
  for (const Row& row : {Row{64, 1.0f}, Row{127, static_cast<float>(1.059463094359)},
                         Row{0, static_cast<float>(1.0 / 1.059463094359)},
                         Row{96, synthTables().pitchBendTable[96]}, Row{-1, 1.0f}}) {
    SCOPED_TRACE(row.data2);
    EngineProbe p;
    MidiList().noteOn(0, 69).noteOn(0, 57).sendTo(p);
    p.envState[1] = 4;  // releasing voices follow the bend too
    if (row.data2 >= 0)
      MidiList().add(0, 0xE5, 127, row.data2).sendTo(p);
    else
      MidiList().add(0, 0xE0, 0, 127).add(3, 0xB9, 121, 0).sendTo(p);
    EXPECT_EQ(p.pitchBend, row.bend);
    EXPECT_EQ(p.carrierInc[1],
              static_cast<float>(440.0 * static_cast<double>(p.phaseRateFactor) * row.bend));
    EXPECT_EQ(p.carrierInc[0],
              static_cast<float>(220.0 * static_cast<double>(p.phaseRateFactor) * row.bend));
  }
}

TEST(EngineMidi, MalformedListsDoNothing) {
  EngineProbe p;
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
  sysex.add(0, 0xF0, 60, 100);
  VstEvents* other = sysex.list();
  other->events[0]->type = 6;
  EXPECT_EQ(p.processEvents(other), 1);
  EXPECT_EQ(MidiList().sendTo(p), 1);
  EXPECT_EQ(p.nextVoice, 0);
  EXPECT_EQ(p.envState[0], 0);
  EXPECT_EQ(p.envState[1], 0);
}

TEST(EngineMidi, NoteOnResetsTheVoice) {
  EngineProbe p;
  p.mod1Phase[1] = 5.0f;
  p.mod1Out[1] = 9;
  p.envLevel[1] = 0.5f;
  p.filterBand[1][1] = 3;
  p.filterLow[1][0] = 4;
  p.decayCounter[1] = 77;
  MidiList().noteOn(0, 60, 1).sendTo(p);
  EXPECT_EQ(p.mod1Phase[1], 0.0f);
  EXPECT_EQ(p.mod1Out[1], 0);
  EXPECT_EQ(p.envLevel[1], 0.0f);
  EXPECT_EQ(p.filterBand[1][1], 0);
  EXPECT_EQ(p.filterLow[1][0], 0);
  EXPECT_EQ(p.decayCounter[1], 77);  // set when the decay begins
  EXPECT_EQ(p.keyTrack[1], static_cast<float>(129 * 60) / 32768.0f);
}

}  // namespace
