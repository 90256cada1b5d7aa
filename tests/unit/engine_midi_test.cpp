// MIDI events and voice allocation, judged by what is heard: each event at its own sample.
#include <gtest/gtest.h>

#include <vector>

#include "engine_probe.h"

namespace {

constexpr int32_t kFrames = 1024;

// The engine's left output for `midi` in one block and for a second block without events;
// high-pass (every envelope value is heard), with a 10-sample release.
std::vector<float> heard(const TimedMidi& midi, int32_t frames = kFrames) {
  EngineProbe p;
  p.setParameter(kType, 1.0f);
  p.setParameter(kR, 0.0f);
  midi.queueTo(p);
  std::vector<float> left(2 * static_cast<size_t>(frames)), right(left.size());
  p.processReplacing(left.data(), right.data(), frames);
  p.processReplacing(left.data() + frames, right.data() + frames, frames);
  return left;
}

int32_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (floatBits(a[i]) != floatBits(b[i])) return static_cast<int32_t>(i);
  return -1;
}

TEST(EngineMidi, EquivalentEventsSoundTheSame) {
  struct Row {
    const char* name;
    TimedMidi events, sameAs, unlike;  // `unlike` sounds different, so the events matter
    int32_t frames = kFrames;
  };
  const TimedMidi held = TimedMidi().noteOn(0, 64);
  Row rows[] = {
      {"note-on with velocity 0 is a note-off", TimedMidi(held).add(300, 0x90, 64, 0),
       TimedMidi(held).noteOff(300, 64), held},
      {"note-off on channel 16", TimedMidi(held).add(300, 0x8F, 64, 0),
       TimedMidi(held).noteOff(300, 64), held},
      {"note-on on channel 6", TimedMidi().add(0, 0x95, 64, 127), held, TimedMidi()},
      {"note-off for a note nobody plays", TimedMidi(held).noteOff(300, 65), held,
       TimedMidi(held).noteOff(300, 64)},
      {"a later note-off never postpones a release",
       TimedMidi(held).noteOff(100, 64).noteOff(300, 64), TimedMidi(held).noteOff(100, 64), held},
      {"the list's order does not matter, the frames do",
       TimedMidi().noteOff(300, 64).noteOn(0, 64), TimedMidi(held).noteOff(300, 64), held},
      {"all notes off releases as the note-offs would",
       TimedMidi(held).noteOn(200, 52).add(400, 0xB3, 123, 0),
       TimedMidi(held).noteOn(200, 52).noteOff(400, 52).noteOff(400, 64),
       TimedMidi(held).noteOn(200, 52)},
      {"a negative offset is the first sample", TimedMidi().noteOn(-20, 64), held,
       TimedMidi().noteOn(1, 64)},
      {"an offset past the block is its last sample", TimedMidi(held).noteOff(5000, 64),
       TimedMidi(held).noteOff(kFrames - 1, 64), held},
      {"other controllers are ignored",
       TimedMidi(held).add(100, 0xB0, 7, 100).add(200, 0xB0, 122, 0).add(300, 0xB0, 127, 0),
       held, TimedMidi(held).add(300, 0xB0, 126, 0)},
      {"a choke of the only sounding key is all sound off", TimedMidi(held).choke(300, 64),
       TimedMidi(held).add(300, 0xB0, 120, 0), held},
      {"a choke of a key nobody plays", TimedMidi(held).choke(300, 65), held,
       TimedMidi(held).choke(300, 64)},
      {"a bend then its reset is no bend",
       TimedMidi(held).add(100, 0xE0, 0, 127).add(100, 0xB1, 121, 0), held,
       TimedMidi(held).add(100, 0xE0, 0, 127)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<float> got = heard(row.events, row.frames);
    EXPECT_EQ(firstDifference(got, heard(row.sameAs, row.frames)), -1);
    EXPECT_NE(firstDifference(got, heard(row.unlike, row.frames)), -1);
  }
}

// An event added to a song changes nothing before its own sample. A note-on takes its slot there
// (cutting a tail still ringing in it) and the silencing controllers act there; a note-off, a
// bend, all-notes-off, the release a note-on sends to the other slot and a new note's silent
// first sample leave that sample as it was, and are heard from the next one.
TEST(EngineMidi, EventsActAtTheirOwnSample) {
  struct Row {
    const char* name;
    TimedMidi song;
    int status, data1, data2;
    int32_t frame;
    int32_t changesFrom;  // frame, or frame + 1
    bool silentAfter;     // exact silence from `frame` on
  };
  const TimedMidi two = TimedMidi().noteOn(0, 60).noteOn(200, 67);  // 60 releases from 201
  const TimedMidi ringing = TimedMidi().noteOn(0, 60).noteOn(10, 64).noteOn(20, 67);
  const Row rows[] = {
      {"note-on (its first sample is silent)", TimedMidi(), 0x90, 72, 100, 333, 334, false},
      {"note-on over a slot still releasing", ringing, 0x90, 72, 100, 25, 25, false},
      {"note-off", two, 0x80, 67, 0, 333, 334, false},
      {"the release of the other slot", TimedMidi().noteOn(0, 60), 0x90, 67, 100, 333, 334,
       false},
      {"bend", two, 0xE0, 0, 0, 333, 334, false},
      {"bend before a note of the same block", TimedMidi().noteOn(500, 60), 0xE0, 0, 127, 100,
       501, false},
      {"all sound off", two, 0xB0, 120, 0, 333, 333, true},
      {"mono mode on", two, 0xB2, 126, 0, 333, 333, true},
      {"all notes off", two, 0xB0, 123, 0, 333, 334, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<float> before = heard(row.song);
    const std::vector<float> after =
        heard(TimedMidi(row.song).add(row.frame, row.status, row.data1, row.data2));
    EXPECT_EQ(firstDifference(before, after), row.changesFrom);
    if (row.silentAfter) {
      for (size_t i = static_cast<size_t>(row.frame); i < after.size(); ++i)
        ASSERT_EQ(after[i], 0.0f) << i;
    }
  }
}

// The slots take turns: a third note in one block takes the first note's slot at its own frame,
// after that note has sounded and begun its release.
TEST(EngineMidi, EveryNoteOfABlockSoundsFromItsFrame) {
  const std::vector<float> three =
      heard(TimedMidi().noteOn(100, 60).noteOn(300, 64).noteOn(500, 67));
  const std::vector<float> first = heard(TimedMidi().noteOn(100, 60).noteOn(300, 64));
  EXPECT_EQ(firstDifference(three, first), 501);  // the new note's first sample is silent
  for (int32_t i = 0; i < 100; ++i) EXPECT_EQ(three[static_cast<size_t>(i)], 0.0f);
  int32_t sounding = 0;
  for (int32_t i = 101; i < 300; ++i) sounding += three[static_cast<size_t>(i)] != 0.0f;
  EXPECT_GT(sounding, 190);
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
    TimedMidi().noteOn(0, 69).noteOn(0, 57).sendTo(p);
    p.envState[1] = 4;  // releasing voices follow the bend too
    if (row.data2 >= 0)
      TimedMidi().add(0, 0xE5, 127, row.data2).sendTo(p);
    else
      TimedMidi().add(0, 0xE0, 0, 127).add(3, 0xB9, 121, 0).sendTo(p);
    EXPECT_EQ(p.pitchBend, row.bend);
    EXPECT_EQ(p.carrierInc[1],
              static_cast<float>(440.0 * static_cast<double>(p.phaseRateFactor) * row.bend));
    EXPECT_EQ(p.carrierInc[0],
              static_cast<float>(220.0 * static_cast<double>(p.phaseRateFactor) * row.bend));
  }
}

TEST(EngineMidi, NoteOnResetsTheVoice) {
  EngineProbe p;
  p.mod1Phase[1] = 5.0f;
  p.mod1Out[1] = 9;
  p.envLevel[1] = 0.5f;
  p.filterBand[1][1] = 3;
  p.filterLow[1][0] = 4;
  p.decayCounter[1] = 77;
  TimedMidi().noteOn(0, 60, 1).sendTo(p);
  EXPECT_EQ(p.nextVoice, 1);  // the first note takes slot 1
  EXPECT_EQ(p.mod1Phase[1], 0.0f);
  EXPECT_EQ(p.mod1Out[1], 0);
  EXPECT_EQ(p.envLevel[1], 0.0f);
  EXPECT_EQ(p.filterBand[1][1], 0);
  EXPECT_EQ(p.filterLow[1][0], 0);
  EXPECT_EQ(p.decayCounter[1], 77);  // set when the decay begins
  EXPECT_EQ(p.keyTrack[1], static_cast<float>(129 * 60) / 32768.0f);
}

// A full queue keeps what came first; the render empties it.
TEST(EngineMidi, QueueKeepsItsFirstEvents) {
  EngineProbe p;
  const EngineEvent note{0, EngineEvent::NoteOn, 60, 100};
  for (int32_t i = 0; i < VelaEngine::kEventCapacity; ++i)
    ASSERT_TRUE(p.queueEvent({i % 500, EngineEvent::NoteOff, 61, 0}));
  EXPECT_FALSE(p.queueEvent(note));
  EXPECT_EQ(p.queuedEvents(), VelaEngine::kEventCapacity);
  EXPECT_EQ(p.queued().front().frame, 0);
  EXPECT_EQ(p.queued().back().frame, (VelaEngine::kEventCapacity - 1) % 500);
  float left[8], right[8];
  p.processReplacing(left, right, 8);
  EXPECT_EQ(p.queuedEvents(), 0);
  EXPECT_TRUE(p.queueEvent(note));
}

}  // namespace

// Tagged note-ons come back as voice ends at the frame their voice falls silent (first silent
// sample) or is taken, in frame order, the same at every block size; untagged ones never.
TEST(EngineMidi, TaggedVoicesReportTheirEnd) {
  struct Row {
    const char* name;
    float release;  // "R": 0 is a 10-sample release, 1 lasts a second
    TimedMidi song;
    std::vector<VoiceEnd> ends;  // absolute frames
  };
  const Row rows[] = {
      {"released: silent 1 + 10 samples after the note-off's sample", 0.0f,
       TimedMidi().taggedNoteOn(0, 60, 1).noteOff(300, 60), {{311, 1}}},
      {"released by the next note-on", 0.0f,
       TimedMidi().taggedNoteOn(0, 60, 1).taggedNoteOn(100, 62, 2).taggedNoteOn(200, 64, 3),
       {{111, 1}, {211, 2}}},
      {"taken while it still rings", 1.0f,
       TimedMidi().taggedNoteOn(0, 60, 1).taggedNoteOn(100, 62, 2).taggedNoteOn(200, 64, 3),
       {{200, 1}}},
      {"all sound off and mono mode end every voice at once", 1.0f,
       TimedMidi().taggedNoteOn(0, 60, 7).taggedNoteOn(10, 62, 8).add(50, 0xB0, 120, 0)
           .taggedNoteOn(60, 64, 9).add(70, 0xB5, 126, 0),
       {{50, 8}, {50, 7}, {70, 9}}},
      {"a choke ends its key's voice; ending releases keep time order", 0.0f,
       TimedMidi().taggedNoteOn(0, 60, 4).taggedNoteOn(5, 62, 5).choke(40, 62).noteOff(500, 60),
       {{16, 4}, {40, 5}}},
      {"an end on a block's last sample", 0.0f,
       TimedMidi().taggedNoteOn(0, 60, 6).noteOff(500, 60), {{511, 6}}},
      {"untagged notes report nothing", 0.0f,
       TimedMidi().noteOn(0, 60).noteOn(100, 62).noteOff(200, 62).add(300, 0xB0, 120, 0), {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (int32_t blockSize : {1, 7, 64, 512, 4096}) {
      SCOPED_TRACE(blockSize);
      EngineProbe p;
      p.setParameter(kR, row.release);
      std::vector<VoiceEnd> ends;
      std::vector<float> left(blockSize), right(blockSize);
      for (int32_t start = 0; start < 4096; start += blockSize) {
        for (const MidiAt& m : row.song.list())
          if (m.frame >= start && m.frame < start + blockSize) {
            TimedMidi one;
            one.add(m.frame - start, m.status, m.data1, m.data2);
            ASSERT_EQ(one.queueTo(p), 1);
          }
        p.processReplacing(left.data(), right.data(), blockSize);
        for (int32_t i = 0; i < p.voiceEndCount(); ++i)
          ends.push_back({start + p.voiceEnds()[i].frame, p.voiceEnds()[i].tag});
      }
      ASSERT_EQ(ends.size(), row.ends.size());
      for (size_t i = 0; i < ends.size(); ++i) {
        EXPECT_EQ(ends[i].frame, row.ends[i].frame) << i;
        EXPECT_EQ(ends[i].tag, row.ends[i].tag) << i;
      }
    }
  }
}

TEST(EngineMidi, AChokeSilencesItsKeyAndLeavesTheOtherVoice) {
  // 52's note-on at 200 releases 64 from 201, as a note-off at 200 would; from the choke on,
  // only that release is heard.
  const TimedMidi held = TimedMidi().noteOn(0, 64);
  const std::vector<float> choked = heard(TimedMidi(held).noteOn(200, 52).choke(300, 52));
  const std::vector<float> released = heard(TimedMidi(held).noteOff(200, 64));
  EXPECT_NE(firstDifference(choked, released), -1);
  EXPECT_EQ(firstDifference(std::vector<float>(choked.begin() + 300, choked.end()),
                            std::vector<float>(released.begin() + 300, released.end())),
            -1);
}

TEST(EngineMidi, AReportedReleaseEndIsTheFirstSilentSample) {
  EngineProbe p;
  p.setParameter(kType, 1.0f);  // high-pass: every envelope value is heard
  p.setParameter(kR, 0.3f);
  TimedMidi().taggedNoteOn(0, 60, 1).noteOff(1000, 60).queueTo(p);
  std::vector<float> left(8192), right(8192);
  p.processReplacing(left.data(), right.data(), 8192);
  ASSERT_EQ(p.voiceEndCount(), 1);
  const int32_t end = p.voiceEnds()[0].frame;
  EXPECT_NE(left[static_cast<size_t>(end - 1)], 0.0f);
  for (size_t i = static_cast<size_t>(end); i < left.size(); ++i) ASSERT_EQ(left[i], 0.0f) << i;
}
