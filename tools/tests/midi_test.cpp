#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "MidiFile.h"
#include "MidiReader.h"
#include "TempoMap.h"
#include "ToolError.h"
#include "ToolTestSupport.h"

namespace {

struct Expected {
  int64_t frame;
  uint8_t status, data1, data2;
};

void expectMidi(const Song& song, const std::vector<Expected>& expected) {
  ASSERT_EQ(song.events.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("event " + std::to_string(i));
    const TimedEvent& event = song.events[i];
    EXPECT_EQ(event.kind, TimedEvent::Kind::Midi);
    EXPECT_EQ(event.frame, expected[i].frame);
    EXPECT_EQ(event.midi[0], expected[i].status);
    EXPECT_EQ(event.midi[1], expected[i].data1);
    EXPECT_EQ(event.midi[2], expected[i].data2);
  }
}

std::vector<uint8_t> tempoBytes(int micros) {
  return {0xFF,
          0x51,
          0x03,
          static_cast<uint8_t>(micros >> 16),
          static_cast<uint8_t>(micros >> 8),
          static_cast<uint8_t>(micros)};
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Header and one track around the given track body.
std::vector<uint8_t> handMadeFile(int format, int ticksPerQuarter,
                                  const std::vector<uint8_t>& body) {
  return midiHeader(format, 1, ticksPerQuarter) + midiChunk("MTrk", body);
}

}  // namespace

TEST(TempoMap, ConvertsTicksExactlyAcrossTempoChanges) {
  TempoMap tempo(480);
  EXPECT_EQ(tempo.frameAt(480, 44100), 22050);  // 120 bpm until a change
  tempo.addChange(960, 1000000);                // 60 bpm from beat 2
  EXPECT_EQ(tempo.frameAt(960, 44100), 44100);
  EXPECT_EQ(tempo.frameAt(1440, 44100), 88200);
  tempo.addChange(960, 250000);  // a second change at the same tick replaces the first
  EXPECT_EQ(tempo.frameAt(1440, 44100), 55125);
  tempo.addChange(0, 600000);  // and at tick 0 replaces the default
  EXPECT_EQ(tempo.frameAt(480, 48000), 28800);
}

TEST(TempoMap, RoundsToNearestFrameWithTiesToEven) {
  TempoMap tempo(1);  // one tick is half a second at the default tempo
  const struct {
    int64_t tick;
    int32_t rate;
    int64_t frame;
  } rows[] = {{1, 1, 0}, {3, 1, 2}, {5, 1, 2}, {7, 1, 4}, {1, 3, 2}, {1, 5, 2}, {0, 44100, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE("tick " + std::to_string(row.tick) + " at " + std::to_string(row.rate));
    EXPECT_EQ(tempo.frameAt(row.tick, row.rate), row.frame);
  }
  // Five hours at a high rate neither overflow nor drift.
  TempoMap slow(480);
  slow.addChange(0, 1621622);
  EXPECT_EQ(slow.frameAt(480LL * 37 * 60 * 5, 384000), 6912001613LL);
}

TEST(MidiFile, FormatZeroWithTempoChangeLandsOnExactFrames) {
  ScratchDir dir;
  const std::string path = dir.file("f0.mid");
  // 96 ticks a beat; 100 bpm (6250 us a tick), then 200 bpm from tick 192.
  writeMidi(path, 96, 1,
            {{1, 0, tempoBytes(600000)},
             {1, 0, {0x90, 60, 100}},
             {1, 96, {0x80, 60, 0}},
             {1, 192, tempoBytes(300000)},
             {1, 192, {0x91, 62, 90}},
             {1, 240, {0xE1, 0, 96}},
             {1, 288, {0x81, 62, 64}}});
  const Song song = readMidiFile(path, 44100);
  expectMidi(song, {{0, 0x90, 60, 100},
                    {26460, 0x80, 60, 0},
                    {52920, 0x91, 62, 90},
                    {59535, 0xE1, 0, 96},
                    {66150, 0x81, 62, 64}});
  EXPECT_EQ(song.endFrame, 66150);
}

TEST(MidiFile, FormatOneMergesTracksByTimeThenTrackOrder) {
  ScratchDir dir;
  const std::string path = dir.file("f1.mid");
  writeMidi(path, 480, 3,
            {{1, 0, tempoBytes(500000)},
             {1, 960, tempoBytes(1000000)},  // the tempo track changes the timing of the others
             {2, 0, {0x90, 48, 80}},
             {2, 960, {0x80, 48, 0}},
             {3, 480, {0xB0, 126, 0}},
             {3, 960, {0x90, 50, 70}},  // same tick as track 2's note-off: comes after it
             {3, 1200, {0xC0, 5}},
             {3, 1440, {0x80, 50, 0}}});
  const Song song = readMidiFile(path, 48000);
  expectMidi(song, {{0, 0x90, 48, 80},
                    {24000, 0xB0, 126, 0},
                    {48000, 0x80, 48, 0},
                    {48000, 0x90, 50, 70},
                    {72000, 0xC0, 5, 0},
                    {96000, 0x80, 50, 0}});
}

TEST(MidiFile, RunningStatusIsExpanded) {
  // Hand-made: after the first note-on the status byte is left out.
  const std::vector<uint8_t> body = {
      0x00, 0x90, 0x3C, 0x40,  // tick 0: note on 60
      0x60, 0x40, 0x50,        // tick 96: note on 64 (running status)
      0x00, 0x3C, 0x00,        // tick 96: note on 60 velocity 0 = note off
      0x60, 0xE0, 0x00, 0x50,  // tick 192: pitch bend
      0x10, 0x00, 0x40,        // tick 208: pitch bend back (running status)
      0x00, 0x80, 0x40, 0x00,  // tick 208: note off 64
      0x00, 0xFF, 0x2F, 0x00};
  const Song song = readMidiBytes(handMadeFile(0, 96, body), "running.mid", 9600);
  // 120 bpm, 96 ticks a beat: 50 frames a tick at 9600 Hz.
  expectMidi(song, {{0, 0x90, 0x3C, 0x40},
                    {4800, 0x90, 0x40, 0x50},
                    {4800, 0x90, 0x3C, 0x00},
                    {9600, 0xE0, 0x00, 0x50},
                    {10400, 0xE0, 0x00, 0x40},
                    {10400, 0x80, 0x40, 0x00}});
}

TEST(MidiFile, NotesStillHeldAtTheEndAreReleasedThere) {
  const std::vector<uint8_t> body = {0x00, 0x90, 0x3C, 0x40,  // held to the end
                                     0x00, 0x91, 0x40, 0x40,  // struck and released
                                     0x30, 0x81, 0x40, 0x00,
                                     0x30, 0xFF, 0x2F, 0x00};  // end at tick 96
  const Song song = readMidiBytes(handMadeFile(0, 96, body), "held.mid", 9600);
  EXPECT_EQ(song.endFrame, 4800);
  expectMidi(song, {{0, 0x90, 0x3C, 0x40},
                    {0, 0x91, 0x40, 0x40},
                    {2400, 0x81, 0x40, 0x00},
                    {4800, 0x80, 0x3C, 0x00}});
}

TEST(MidiFile, MetaAndSystemExclusiveAreSkipped) {
  const std::vector<uint8_t> body = {0x00, 0xFF, 0x03, 0x04, 'L',  'e',  'a',  'd',  // track name
                                     0x00, 0xF0, 0x03, 0x7E, 0x09, 0xF7,             // sysex
                                     0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00,
                                     0x00, 0xFF, 0x2F, 0x00};
  const Song song = readMidiBytes(handMadeFile(0, 96, body), "meta.mid", 9600);
  expectMidi(song, {{0, 0x90, 0x3C, 0x40}, {4800, 0x80, 0x3C, 0x00}});
}

namespace {

const std::vector<uint8_t> kNote = {0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00};
const std::vector<uint8_t> kEnd = {0x00, 0xFF, 0x2F, 0x00};
const std::vector<uint8_t> kTrack = midiChunk("MTrk", kNote + kEnd);
const std::vector<uint8_t> kGood = midiHeader(0, 1, 96) + kTrack;

std::vector<uint8_t> riff(const char* kind, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> chunk = midiChunk(kind, body);
  std::reverse(chunk.begin() + 4, chunk.begin() + 8);  // RIFF lengths are little-endian
  return chunk;
}

std::vector<uint8_t> cut(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

std::vector<uint8_t> patched(std::vector<uint8_t> bytes, size_t at, uint8_t value) {
  bytes.at(at) = value;
  return bytes;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

}  // namespace

TEST(MidiReader, ReadsWhatCommonPracticeAllowsAndSaysWhatItWorkedAround) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    size_t messages;
    std::string warnings;  // every warning, one a line
  } rows[] = {
      {"plain", kGood, 2, ""},
      {"unknown chunk before the track",
       midiHeader(0, 1, 96) + midiChunk("XFIH", {'a', 'b'}) + kTrack, 2,
       "skipped a chunk of unknown kind 'XFIH' at byte 14\n"},
      {"longer header",
       midiChunk("MThd", {0, 0, 0, 1, 0, 96, 0xAA, 0xBB}) + kTrack, 2, ""},
      {"no end-of-track", midiHeader(0, 1, 96) + midiChunk("MTrk", kNote), 2,
       "track 1 has no end-of-track mark; it ends with its last event\n"},
      {"two tracks without end-of-track",
       midiHeader(1, 2, 96) + midiChunk("MTrk", kNote) + midiChunk("MTrk", kNote), 4,
       "track 1 has no end-of-track mark; it ends with its last event (and 1 more like it)\n"},
      {"sysex in packets and an escape",
       midiHeader(0, 1, 96) +
           midiChunk("MTrk", std::vector<uint8_t>{0x00, 0xF0, 0x02, 0x7E, 0x09,  // no F7 yet
                                                  0x10, 0xF7, 0x02, 0x01, 0xF7,  // last packet
                                                  0x00, 0xF7, 0x01, 0xFA} +  // escape
                                 kNote + kEnd),
       2, ""},
      {"fewer tracks than declared", midiHeader(1, 3, 96) + kTrack, 2,
       "the header promises 3 tracks, but the file holds 1; playing what is there\n"},
      {"more tracks than declared", midiHeader(1, 1, 96) + kTrack + kTrack, 4,
       "the header promises 1 track, but the file holds 2; playing what is there\n"},
      {"RMID", riff("RIFF", std::vector<uint8_t>{'R', 'M', 'I', 'D'} + riff("LIST", {1, 2, 3, 4}) +
                                riff("data", kGood)),
       2, ""},
      {"format 3", patched(kGood, 9, 3), 2,
       "the header gives format 3 (byte 8), which does not exist; its tracks are played "
       "together\n"},
      {"stray bytes at the end", kGood + std::vector<uint8_t>{1, 2, 3}, 2,
       "ignored 3 stray bytes at the end (byte 34)\n"},
      {"broken tempo", midiHeader(0, 1, 96) + midiChunk("MTrk", std::vector<uint8_t>{
                                                                    0, 0xFF, 0x51, 2, 1, 2} +
                                                                    kNote + kEnd),
       2, "ignored a broken tempo change at byte 23\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const midi::MidiFileContents contents = midi::readMidi(row.bytes);
    EXPECT_EQ(contents.error, "");
    EXPECT_EQ(contents.messages.size(), row.messages);
    EXPECT_EQ(joined(contents.warnings), row.warnings);
  }
}

TEST(MidiReader, RefusesDamagedFilesNamingTheFaultAndWhere) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* error;
  } rows[] = {
      {"empty", {}, "the file is empty"},
      {"text", {'h', 'e', 'l', 'l', 'o', '\n'},
       "not a Standard MIDI File: it starts with 'hell' where a MIDI file has 'MThd'"},
      {"cut in the header", cut(kGood, 10),
       "the file ends at byte 10, inside the header: it may have been cut short"},
      {"cut in the track", cut(kGood, 25),
       "track 1 (byte 14) says it holds 12 bytes, but the file has 3 more: it may have been cut "
       "short"},
      {"cut inside an event", midiHeader(0, 1, 96) + midiChunk("MTrk", {0x00, 0x90, 0x3C}),
       "the file ends at byte 25, inside track 1: it may have been cut short"},
      {"track length too short", midiHeader(0, 1, 96) + midiChunk("MTrk", cut(kNote, 4)) +
                                     std::vector<uint8_t>{0x60, 0x80, 0x3C, 0x00} + kEnd,
       "track 1 (byte 14) says it holds 4 bytes, but its events go on past that: the track "
       "length is wrong"},
      {"division 0", patched(patched(kGood, 12, 0), 13, 0),
       "the header's timing (byte 12) is 0 ticks per quarter note, so no event has a time"},
      {"short header", midiChunk("MThd", {0, 0, 0, 1}) + kTrack,
       "the header (byte 4) says it is 4 bytes long; a MIDI header needs 6"},
      {"23 frames a second", patched(kGood, 12, 0xE9),
       "the header's timing (byte 12) is 23 SMPTE frames a second; only 24, 25, 29.97 and 30 "
       "exist"},
      {"data byte first", handMadeFile(0, 96, {0x00, 0x3C, 0x40}),
       "track 1 has a data byte (0x3C) at byte 23 where an event should start, with no earlier "
       "status to repeat"},
      {"live-only status", handMadeFile(0, 96, {0x00, 0xF8}),
       "track 1 has the status byte 0xF8 at byte 22, which only live MIDI uses, never a file"},
      {"value above 127", handMadeFile(0, 96, {0x00, 0x90, 0x3C, 0x90}),
       "track 1 has a value of 0x90 at byte 25 inside a note or controller message"},
      {"five-byte number", handMadeFile(0, 96, {0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),
       "a number at byte 22 in track 1 runs over four bytes, more than MIDI allows"},
      {"WAVE", riff("RIFF", {'W', 'A', 'V', 'E'}), "a RIFF file of kind 'WAVE', not a MIDI file"},
      {"RMID whose last chunk lacks its pad byte",
       riff("RIFF", std::vector<uint8_t>{'R', 'M', 'I', 'D'} + riff("LIST", {1})),
       "an RMID file without the 'data' chunk that holds its MIDI data"},
      {"no tracks", midiHeader(1, 0, 96), "the file holds no tracks, so there is nothing to play"},
      {"garbage for a track", midiHeader(1, 1, 96) + std::vector<uint8_t>(9, 0x01),
       "found unreadable data at byte 14 where track 1 should start"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const midi::MidiFileContents contents = midi::readMidi(row.bytes);
    EXPECT_NE(contents.error.find(row.error), std::string::npos) << contents.error;
    EXPECT_TRUE(contents.messages.empty());
  }
}

TEST(MidiFile, SmpteTimingAndFormatTwoLandOnExactFrames) {
  const std::vector<uint8_t> tempo60 = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40};
  // 25 frames × 40 ticks: 1000 ticks a second, whatever the tempo events say.
  const Song smpte = readMidiBytes(
      handMadeFile(0, 0xE728, tempo60 + std::vector<uint8_t>{0x87, 0x68, 0x90, 0x3C, 0x40} + kEnd),
      "smpte.mid", 44100);
  expectMidi(smpte, {{44100, 0x90, 0x3C, 0x40}, {44100, 0x80, 0x3C, 0x00}});
  // 29.97 frames a second: 30 frames take 1.001 s.
  const Song dropFrame = readMidiBytes(
      handMadeFile(0, 0xE301, std::vector<uint8_t>{0x1E, 0x90, 0x3C, 0x40} + kEnd), "df.mid", 44100);
  EXPECT_EQ(dropFrame.events.at(0).frame, 44144);
  // Format 2: the second piece starts where the first ends, back at 120 bpm.
  const Song format2 =
      readMidiBytes(midiHeader(2, 2, 96) + midiChunk("MTrk", tempo60 + kNote + kEnd) + kTrack,
                    "f2.mid", 9600);
  expectMidi(format2, {{0, 0x90, 0x3C, 0x40},
                       {9600, 0x80, 0x3C, 0x00},
                       {9600, 0x90, 0x3C, 0x40},
                       {14400, 0x80, 0x3C, 0x00}});
}

TEST(MidiFile, CorruptFilesNeverTakeTheProcessDown) {
  // Cut a good file short, or change any one byte to an extreme value; the reader may accept or
  // refuse each, but must return (the sanitizer build catches reads out of bounds).
  const std::vector<uint8_t> seed =
      midiFileBytes(480, 2,
                    {{1, 0, tempoBytes(500000)},
                     {2, 0, {0x90, 60, 100}},
                     {2, 240, {0xE0, 0, 70}},
                     {2, 480, {0x80, 60, 0}},
                     {2, 480, {0xF0, 0x7E, 0xF7}}});
  std::vector<std::vector<uint8_t>> damaged;
  for (size_t at = 0; at < seed.size(); ++at) {
    damaged.push_back(cut(seed, at));
    for (int value : {0x00, 0x7F, 0x80, 0xFF}) damaged.push_back(patched(seed, at, static_cast<uint8_t>(value)));
  }
  int refused = 0;
  for (const auto& bytes : damaged) {
    try {
      readMidiBytes(bytes, "damaged.mid", 44100);
    } catch (const ToolError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, static_cast<int>(seed.size()));
}

TEST(MidiFile, MissingFileAndFolderAreReported) {
  ScratchDir dir;
  EXPECT_THROW(readMidiFile(dir.file("absent.mid"), 44100), ToolError);
  try {
    readMidiFile(dir.path(), 44100);
    ADD_FAILURE() << "a folder was read as a MIDI file";
  } catch (const ToolError& error) {
    EXPECT_NE(std::string(error.what()).find("Is a directory"), std::string::npos) << error.what();
  }
}
