#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "MidiFile.h"
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

// Header and one track around the given track body (which must end with an end-of-track).
std::vector<uint8_t> handMadeFile(int format, int ticksPerQuarter,
                                  const std::vector<uint8_t>& body) {
  const auto byte = [](size_t value) { return static_cast<uint8_t>(value & 0xFF); };
  std::vector<uint8_t> file = {'M',
                               'T',
                               'h',
                               'd',
                               0,
                               0,
                               0,
                               6,
                               0,
                               byte(static_cast<size_t>(format)),
                               0,
                               1,
                               byte(static_cast<size_t>(ticksPerQuarter) >> 8),
                               byte(static_cast<size_t>(ticksPerQuarter)),
                               'M',
                               'T',
                               'r',
                               'k',
                               0,
                               0,
                               byte(body.size() >> 8),
                               byte(body.size())};
  file.resize(file.size() + body.size());
  std::copy(body.begin(), body.end(), file.end() - static_cast<long>(body.size()));
  return file;
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

TEST(MidiFile, BadFilesGiveAnErrorNamingTheProblem) {
  const std::vector<uint8_t> good =
      handMadeFile(0, 96, {0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 25);  // chunk says more than there is
  // The last event cut off inside a chunk whose length agrees: the MIDI library aborts on this one.
  std::vector<uint8_t> noEnd =
      handMadeFile(0, 96, {0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00});
  std::vector<uint8_t> missingTrack = good;
  missingTrack[11] = 2;  // the header promises a second track that is not there
  std::vector<uint8_t> format2 = good;
  format2[9] = 2;
  std::vector<uint8_t> smpte = good;
  smpte[12] = 0xE7;  // -25 frames a second
  smpte[13] = 0x28;
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  } rows[] = {
      {"text.mid", {'h', 'e', 'l', 'l', 'o', '\n'}, "cannot read MIDI file 'text.mid'"},
      {"empty.mid", {}, "MIDI file 'empty.mid' is empty"},
      {"truncated.mid", truncated,
       "corrupt MIDI file 'truncated.mid': chunk 'MTrk' at byte 14 runs past"},
      {"no-end.mid", noEnd, "corrupt MIDI file 'no-end.mid'"},
      {"missing-track.mid", missingTrack,
       "corrupt MIDI file 'missing-track.mid': no more chunks left"},
      {"format2.mid", format2, "format #2"},
      {"smpte.mid", smpte, "FPS timing"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      readMidiBytes(row.bytes, row.name, 44100);
      ADD_FAILURE() << "no error";
    } catch (const ToolError& error) {
      EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
    }
  }
}

TEST(MidiFile, AFlawTheReaderWorksAroundIsReportedAsAWarning) {
  const std::vector<uint8_t> track =
      handMadeFile(0, 96, {0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  // A chunk of an unknown kind before the track: the reader skips it, and the track with it.
  std::vector<uint8_t> file(track.begin(), track.begin() + 14);
  for (uint8_t byte : std::vector<uint8_t>{'X', 'F', 'I', 'H', 0, 0, 0, 2, 'a', 'b'})
    file.push_back(byte);
  for (size_t i = 14; i < track.size(); ++i) file.push_back(track[i]);
  std::string warning;
  const Song song = readMidiBytes(file, "extra.mid", 9600, &warning);
  EXPECT_NE(warning.find("declared 1 tracks, but only 0 found"), std::string::npos) << warning;
  EXPECT_TRUE(song.events.empty());
}

TEST(MidiFile, CorruptFilesNeverTakeTheProcessDown) {
  // Damage a good file in many ways; the reader may accept or refuse each, but must return.
  ScratchDir dir;
  const std::string path = dir.file("seed.mid");
  writeMidi(path, 480, 2,
            {{1, 0, tempoBytes(500000)},
             {2, 0, {0x90, 60, 100}},
             {2, 240, {0xE0, 0, 70}},
             {2, 480, {0x80, 60, 0}},
             {2, 480, {0xF0, 0x7E, 0xF7}}});
  std::vector<uint8_t> seed;
  {
    std::ifstream in(path, std::ios::binary);
    seed.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(seed.size(), 30u);
  int refused = 0;
  for (size_t cut = 1; cut < seed.size(); cut += 3) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    std::vector<uint8_t> damaged(seed.begin(), seed.begin() + static_cast<long>(cut));
    try {
      readMidiBytes(damaged, "cut.mid", 44100);
    } catch (const ToolError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
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
