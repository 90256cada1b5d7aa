// Microtuning: the Scala reader's acceptances and refusals, every note's frequency against the
// formula of each kind of scale and mapping, what the engine plays from a tuning, the byte form
// hosts keep it in, and that no tuning (or a refused one) leaves today's bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ScalaFiles.h"
#include "Tuning.h"
#include "engine_probe.h"

namespace {

double cents(double hz, double reference) { return 1200.0 * std::log2(hz / reference); }

std::string scaleText(const char* description, const std::vector<std::string>& pitches) {
  std::string text = std::string("! made by the test\n") + description + "\n " +
                     std::to_string(pitches.size()) + "\n";
  for (const std::string& p : pitches) text += " " + p + "\n";
  return text;
}

// n equal steps to the octave, in cents.
std::string equalScale(int32_t steps) {
  std::vector<std::string> pitches;
  for (int32_t k = 1; k <= steps; ++k) {
    char text[32];
    std::snprintf(text, sizeof text, "%.12f", 1200.0 * k / steps);
    pitches.push_back(text);
  }
  return scaleText("equal", pitches);
}

TuningFiles files(const std::optional<std::string>& scale,
                  const std::optional<std::string>& mapping) {
  TuningFiles f;
  if (scale) f.scale = ScalaText{"s.scl", *scale};
  if (mapping) f.keyboardMapping = ScalaText{"m.kbm", *mapping};
  return f;
}

TEST(ScalaReading, GoodScales) {
  struct Row {
    const char* what;
    std::string text;
    std::string description;
    std::vector<double> cents;
  };
  const Row rows[] = {
      {"comments, cents and ratios, text after the value",
       "! third.scl\n!\nJust third and fifth\n 3\n!\n 386.3137 cents\n 3/2 fifth\n 2\n",
       "Just third and fifth",
       {386.3137, 701.9550008653874, 1200.0}},
      {"a blank description", "! blank\n\n2\n100.0\n2/1\n", "", {100.0, 1200.0}},
      {"leading blanks, CRLF, blank lines, signs",
       "  \tDesc with blanks  \r\n\t2 pitches\r\n\r\n  -50.5\r\n\t+3/1\r\n\r\n",
       "Desc with blanks",
       {-50.5, 1901.9550008653874}},
      {"whole numbers and large ratios",
       "d\n3\n5\n3486784401/2147483648\n4/2\n",
       "d",
       {2786.3137138648344, 839.1000173077483, 1200.0}},
      {"cents without digits after the point", "d\n1\n1200.\n", "d", {1200.0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scala::Scale scale;
    std::string error;
    ASSERT_TRUE(scala::readScale(row.text, "s.scl", scale, error)) << error;
    EXPECT_EQ(scale.description, row.description);
    ASSERT_EQ(scale.pitches.size(), row.cents.size());
    for (size_t i = 0; i < row.cents.size(); ++i)
      EXPECT_NEAR(scale.pitches[i] * 1200.0, row.cents[i], 1e-9) << "pitch " << i + 1;
  }
}

TEST(ScalaReading, GoodMappings) {
  scala::KeyboardMapping m;
  std::string error;
  ASSERT_TRUE(scala::readKeyboardMapping(
      "! white.kbm\n 12\n 0\n127\n60\n69\n 440.0 Hz\n7\n! map\n0\nx\n1\nX\n2\n3\nx\n4\n", "m.kbm",
      m, error))
      << error;
  EXPECT_EQ(m.mapSize, 12);
  EXPECT_EQ(m.referenceNote, 69);
  EXPECT_EQ(m.referenceHz, 440.0);
  EXPECT_EQ(m.octaveDegree, 7);
  // Entries left out at the end do not sound.
  const int32_t x = scala::kUnmapped;
  EXPECT_EQ(m.map, (std::vector<int32_t>{0, x, 1, x, 2, 3, x, 4, x, x, x, x}));
  EXPECT_EQ(m.mapLines[7], 17);
  ASSERT_TRUE(scala::readKeyboardMapping("0\n0\n127\n60\n60\n261.6256\n0\n", "m.kbm", m, error));
  EXPECT_EQ(m.mapSize, 0);
  EXPECT_TRUE(m.map.empty());
}

// Refusals name the file, the line and what is wrong, and a refused tuning changes nothing.
TEST(ScalaReading, RefusedFilesSayWhyAndChangeNothing) {
  const std::string kbmHead = "12\n0\n127\n60\n60\n261.6256\n12\n";
  struct Row {
    std::optional<std::string> scale, mapping;
    std::string error;
  };
  const Row rows[] = {
      {"d\n3\n100.0\n200.0\n", {}, "s.scl:2: 3 pitches announced, 2 given"},
      {"d\n2\n100.0\n200.0\n! more\n300.0\n", {}, "s.scl:2: 2 pitches announced, 3 given"},
      {"! c\nd\n\n 2\nabc\n2/1\n",
       {},
       "s.scl:5: 'abc' is not a pitch (cents with a '.', a ratio a/b or a whole number)"},
      {"d\n1\n1.2.3\n", {}, "s.scl:3: '1.2.3' is not a number of cents"},
      {"d\n1\n3/\n",
       {},
       "s.scl:3: '3/' is not a pitch (cents with a '.', a ratio a/b or a whole number)"},
      {"d\n1\n0/5\n", {}, "s.scl:3: the ratio '0/5' is not above zero"},
      {"d\n1\n-3/2\n", {}, "s.scl:3: the ratio '-3/2' is not above zero"},
      {"d\n1\n3/0\n", {}, "s.scl:3: the ratio '3/0' divides by zero"},
      {"d\nmany\n", {}, "s.scl:2: the number of pitches 'many' is not a whole number"},
      {"d\n0\n", {}, "s.scl:2: a scale needs at least one pitch"},
      {"d\n1025\n", {}, "s.scl:2: 1025 pitches, more than 1024"},
      {"! nothing but a comment\n", {}, "s.scl: no number of pitches"},
      {"d\n1\n2/1\n!" + std::string(1 << 20, ' ') + "\n", {}, "s.scl: larger than 1 MiB"},
      {"d\n1\n100000000000000000000/1\n",
       {},
       "s.scl: note 0 would sound at no positive finite frequency"},
      {{}, "12\n0\n127\n60\n69\n", "m.kbm: no reference frequency"},
      {{},
       "0\n0\n127\n60\n69\n0.0\n12\n",
       "m.kbm:6: the reference frequency '0.0' is not a positive finite number"},
      {{},
       "0\n0\n127\n60\n69\ninf\n12\n",
       "m.kbm:6: the reference frequency 'inf' is not a positive finite number"},
      {{},
       "0\n0\n127\n60\n69\n1e3\n12\n",
       "m.kbm:6: the reference frequency '1e3' is not a positive finite number"},
      {{}, "0\n0\n128\n", "m.kbm:3: the last note 128 is outside 0..127"},
      {{}, "0\n0\n127\n-1\n", "m.kbm:4: the middle note '-1' is not a whole number"},
      {{}, "0\n100\n20\n", "m.kbm:3: the last note 20 is below the first 100"},
      {{},
       "2\n0\n127\n60\n60\n261.6256\n2\n0\n1\n0\n",
       "m.kbm:1: a map size of 2, 3 entries given"},
      {{}, kbmHead + "0\ny\n", "m.kbm:9: the map entry 'y' is neither a degree nor 'x'"},
      {{},
       kbmHead + "0\n12\n",
       "m.kbm:9: the map degree 12 is past the scale's 12 pitches (degrees 0..11)"},
      {"d\n5\n1\n2\n3\n4\n5\n", kbmHead + "0\n1\n2\n3\n4\n5\n",
       "m.kbm:13: the map degree 5 is past the scale's 5 pitches (degrees 0..4)"},
      {{},
       "12\n0\n127\n60\n61\n440.0\n12\n0\nx\n",
       "m.kbm:5: the reference note 61 falls on an unmapped key"},
  };
  const TuningFiles before = files(equalScale(19), {});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    EngineProbe p;
    ASSERT_TRUE(p.setTuning(before));
    p.audioCall();
    TimedMidi().noteOn(0, 62).sendTo(p);
    const float played = p.carrierInc[1];
    std::string error;
    EXPECT_FALSE(p.setTuning(files(row.scale, row.mapping), &error));
    EXPECT_EQ(error, row.error);
    p.audioCall();
    TimedMidi().noteOn(0, 62).sendTo(p);
    EXPECT_EQ(p.carrierInc[0], played);
    EXPECT_EQ(p.tuning(), before);
  }
}

// Every note against the formula of its scale and mapping, within 0.01 cent; unmapped keys as
// the mapping says.
TEST(TuningTable, EveryNoteFollowsItsScaleAndMapping) {
  using Expect = std::function<std::optional<double>(int32_t)>;
  // Degrees 1..n-1 as ratios, then the period.
  const auto periodic = [](std::vector<double> ratios, double period, int32_t reference,
                           double hz) -> Expect {
    return [=](int32_t key) {
      const int32_t n = static_cast<int32_t>(ratios.size()) + 1;
      const int32_t from = key - reference;
      const int32_t round = (from >= 0 ? from : from - n + 1) / n;
      const int32_t step = from - round * n;
      return hz * std::pow(period, round) *
             (step == 0 ? 1.0 : ratios[static_cast<size_t>(step - 1)]);
    };
  };
  const auto equal = [&](int32_t steps) {
    std::vector<double> ratios;
    for (int32_t k = 1; k < steps; ++k)
      ratios.push_back(std::pow(2.0, k / static_cast<double>(steps)));
    return periodic(ratios, 2.0, 60, 261.6256);
  };
  const std::vector<std::string> just5 = {"16/15", "9/8", "6/5", "5/4", "4/3",  "45/32",
                                          "3/2",   "8/5", "5/3", "9/5", "15/8", "2/1"};
  const std::vector<double> just5Ratios = {16.0 / 15, 9.0 / 8, 6.0 / 5, 5.0 / 4, 4.0 / 3, 45.0 / 32,
                                           3.0 / 2,   8.0 / 5, 5.0 / 3, 9.0 / 5, 15.0 / 8};
  const std::vector<std::string> bp = {"27/25", "25/21", "9/7", "7/5",   "75/49", "5/3", "9/5",
                                       "49/25", "15/7",  "7/3", "63/25", "25/9",  "3/1"};
  const std::vector<double> bpRatios = {27.0 / 25, 25.0 / 21, 9.0 / 7,   7.0 / 5,
                                        75.0 / 49, 5.0 / 3,   9.0 / 5,   49.0 / 25,
                                        15.0 / 7,  7.0 / 3,   63.0 / 25, 25.0 / 9};
  const std::vector<std::string> major = {"9/8", "5/4", "4/3", "3/2", "5/3", "15/8", "2/1"};
  const double majorRatios[] = {1.0, 9.0 / 8, 5.0 / 4, 4.0 / 3, 3.0 / 2, 5.0 / 3, 15.0 / 8};
  struct Row {
    const char* what;
    std::optional<std::string> scale, mapping;
    Expect hz;
  };
  const Row rows[] = {
      {"12-tone equal", equalScale(12), {}, equal(12)},
      {"19-tone equal", equalScale(19), {}, equal(19)},
      {"31-tone equal", equalScale(31), {}, equal(31)},
      {"5-limit just intonation",
       scaleText("just", just5),
       {},
       periodic(std::vector<double>(just5Ratios), 2.0, 60, 261.6256)},
      {"Bohlen-Pierce, period 3/1", scaleText("bp", bp), {}, periodic(bpRatios, 3.0, 60, 261.6256)},
      {"a 7-note scale on the white keys, A 440", scaleText("major", major),
       "! white keys\n12\n0\n127\n60\n69\n440.0\n7\n0\nx\n1\nx\n2\n3\nx\n4\nx\n5\nx\n6\n",
       [&](int32_t key) -> std::optional<double> {
         const int32_t degreeOfPitchClass[12] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
         const int32_t degree = degreeOfPitchClass[key % 12];
         if (degree < 0) return std::nullopt;
         return 440.0 / (5.0 / 3.0) * std::pow(2.0, key / 12 - 5) * majorRatios[degree];
       }},
      {"12-tone equal with A at 432 Hz, keys 21..108 only",
       {},
       "0\n21\n108\n60\n69\n432.0\n12\n",
       [](int32_t key) -> std::optional<double> {
         if (key < 21 || key > 108) return std::nullopt;
         return 432.0 * std::pow(2.0, (key - 69) / 12.0);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TuningTable table;
    std::string error;
    ASSERT_TRUE(buildTuning(files(row.scale, row.mapping), table, error)) << error;
    ASSERT_TRUE(table.active);
    for (int32_t key = 0; key < kNumNotes; ++key) {
      SCOPED_TRACE(key);
      const std::optional<double> expected = row.hz(key);
      ASSERT_EQ(table.mapped[key], expected.has_value());
      if (expected) {
        EXPECT_NEAR(cents(table.frequency[key], *expected), 0.0, 0.01);
      }
    }
  }
}

// What the engine plays: the key's frequency on the carrier, the sound's equal-tempered
// intervals on the modulators, the bend's range, key tracking by pitch.
TEST(TuningTable, VoicesPlayTheTableAndKeepTheirModulatorIntervals) {
  EngineProbe p;
  p.setParameter(kMod1, 0.5f + 7.0f / 24.0f);  // a fifth above
  p.setParameter(kMod2, 0.0f);                 // an octave below
  ASSERT_TRUE(p.setTuning(files(equalScale(19), {})));
  TimedMidi().noteOn(0, 79).sendTo(p);
  EXPECT_EQ(p.mod1Offset, 7);
  // The tuning is the audio thread's from its next block on.
  const double defaultHz = synthTables().noteFrequencyTable[79];
  EXPECT_EQ(p.carrierInc[1],
            static_cast<float>(defaultHz * static_cast<double>(p.phaseRateFactor)));
  p.audioCall();
  const double rate = static_cast<double>(p.phaseRateFactor);
  EXPECT_NEAR(p.carrierInc[1] / rate, 2 * 261.6256, 1e-4);  // 19 steps above 60: an octave
  TimedMidi().noteOn(0, 79).sendTo(p);
  EXPECT_EQ(p.carrierInc[0], p.carrierInc[1]);
  EXPECT_NEAR(p.mod1Inc[0] / p.carrierInc[0], std::pow(2.0, 7.0 / 12.0), 1e-6);
  EXPECT_NEAR(p.mod2Inc[0] / p.carrierInc[0], 0.5, 1e-6);
  // The filter tracks where the key sounds (C5), not its number; the voice that began before
  // the tuning keeps its tracking.
  EXPECT_NEAR(p.keyTrack[0], 255.0 * 72.0 / 32768.0, 1e-6);
  EXPECT_EQ(p.keyTrack[1], static_cast<float>(255.0 * 79.0 / 32768.0));
  const float unbent = p.carrierInc[0];
  TimedMidi().add(0, 0xE0, 0, 127).sendTo(p);
  EXPECT_NEAR(p.carrierInc[0] / unbent, 1.059463094359, 1e-6);
  EXPECT_NEAR(p.mod1Inc[0] / p.carrierInc[0], std::pow(2.0, 7.0 / 12.0), 1e-6);
}

// The standard 12-tone scale sounds within 0.01 cent of the engine's own table, on the carrier
// and on every modulator interval that stays on the keyboard.
TEST(TuningTable, TwelveToneEqualSoundsAsTheDefault) {
  for (const int32_t offset : {-12, -5, 0, 7, 12}) {
    SCOPED_TRACE(offset);
    EngineProbe standard, tuned;
    for (EngineProbe* p : {&standard, &tuned})
      p->setParameter(kMod1, 0.5f + static_cast<float>(offset) / 24.0f);
    ASSERT_TRUE(tuned.setTuning(files(equalScale(12), {})));
    tuned.audioCall();
    for (int32_t key = 0; key < kNumNotes; ++key) {
      SCOPED_TRACE(key);
      for (EngineProbe* p : {&standard, &tuned}) p->noteOn(0, key, 100);
      EXPECT_NEAR(cents(tuned.carrierInc[0], standard.carrierInc[0]), 0.0, 0.01);
      if (key + offset >= 0 && key + offset < kNumNotes) {
        EXPECT_NEAR(cents(tuned.mod1Inc[0], standard.mod1Inc[0]), 0.0, 0.01);
      }
    }
  }
}

TEST(TuningTable, UnmappedKeysTakeNoVoiceAndEndTheirTagAtOnce) {
  EngineProbe p;
  ASSERT_TRUE(p.setTuning(files({}, "12\n0\n127\n60\n60\n261.6256\n12\n0\nx\n2\n")));
  p.audioCall();
  TimedMidi().noteOn(0, 60).sendTo(p);
  ASSERT_EQ(p.nextVoice, 1);
  const float held = p.carrierInc[1];
  // 61 is "x", 63 left out of the pattern, 59 is 11 of the pattern below: left out too.
  for (const int32_t key : {61, 63, 59, 73}) {
    SCOPED_TRACE(key);
    TimedMidi().noteOn(0, key).sendTo(p);
    EXPECT_EQ(p.nextVoice, 1);
    EXPECT_EQ(p.envState[0], 0);
    EXPECT_EQ(p.noteOffCountdown[1], -1) << "the held note was released";
  }
  float out[2][64];
  TimedMidi().taggedNoteOn(9, 61, 5).queueTo(p);
  p.processReplacing(out[0], out[1], 64);
  ASSERT_EQ(p.voiceEndCount(), 1);
  EXPECT_EQ(p.voiceEnds()[0].frame, 9);
  EXPECT_EQ(p.voiceEnds()[0].tag, 5);
  // A new tuning retunes the sounding voices; one whose key it leaves unmapped keeps its pitch.
  ASSERT_TRUE(p.setTuning(files({}, "1\n61\n127\n61\n61\n300.0\n1\n0\n")));
  p.audioCall();
  EXPECT_EQ(p.carrierInc[1], held);
  ASSERT_TRUE(p.setTuning(files({}, "0\n0\n127\n60\n60\n300.0\n12\n")));
  p.audioCall();
  EXPECT_NEAR(p.carrierInc[1] / p.phaseRateFactor, 300.0, 1e-3);
}

std::vector<float> renderSong(EngineProbe& p) {
  TimedMidi song;
  for (int32_t n = 0; n < 12; ++n) song.noteOn(n * 700 + 3, 40 + 5 * n, 60 + 5 * n);
  song.add(4000, 0xE0, 0, 90);
  std::vector<float> out(2 * 10000);
  song.queueTo(p);
  p.processReplacing(out.data(), out.data() + 10000, 10000);
  return out;
}

// No tuning, or one cleared again, renders the bits of an instance that never had one.
TEST(TuningTable, WithoutATuningEveryBitIsTodays) {
  EngineProbe fresh;
  const std::vector<float> expected = renderSong(fresh);
  EngineProbe cleared;
  ASSERT_TRUE(cleared.setTuning(files(equalScale(12), "0\n0\n127\n60\n69\n432.0\n12\n")));
  cleared.audioCall();
  ASSERT_TRUE(cleared.setTuning(TuningFiles{}));
  EXPECT_EQ(cleared.tuning(), TuningFiles{});
  const std::vector<float> after = renderSong(cleared);
  for (size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(floatBits(after[i]), floatBits(expected[i])) << "sample " << i;
  EngineProbe tuned;
  ASSERT_TRUE(tuned.setTuning(files(equalScale(12), "0\n0\n127\n60\n69\n432.0\n12\n")));
  EXPECT_NE(renderSong(tuned), expected);
}

TEST(TuningBytes, RoundTripAndRefusals) {
  TuningFiles both = files(equalScale(31), "0\n0\n127\n60\n69\n432.0\n12\n");
  both.scale->text += std::string("\0\xff", 2);  // bytes are kept as they are
  const TuningFiles kinds[] = {TuningFiles{}, files("d\n1\n2/1\n", {}),
                               files({}, "0\n0\n1\n0\n0\n1.0\n1\n"), both};
  for (const TuningFiles& f : kinds) {
    TuningFiles back = files("not", "this");
    std::string error;
    const std::vector<uint8_t> bytes = encodeTuning(f);
    ASSERT_TRUE(decodeTuning(bytes.data(), bytes.size(), back, &error)) << error;
    EXPECT_EQ(back, f);
  }
  const std::vector<uint8_t> good = encodeTuning(both);
  struct Row {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    std::string error;
  };
  const auto u32At = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  const size_t mappingFlag = 16 + 4 + 4 + both.scale->name.size() + 4 + both.scale->text.size();
  const Row rows[] = {
      {"magic", [](auto& b) { b[0] = 'X'; }, "wrong magic: not a VelaOrin tuning (byte 0)"},
      {"version", [&](auto& b) { u32At(b, 4, 2); }, "unknown version (byte 4)"},
      {"identifier", [](auto& b) { b[8] = 'X'; }, "the data belongs to another plug-in (byte 8)"},
      {"cut short", [](auto& b) { b.resize(b.size() - 1); },
       "the size is wrong: the data says " + std::to_string(good.size()) + " bytes and holds " +
           std::to_string(good.size() - 1) + " (byte 12)"},
      {"a byte too many",
       [&](auto& b) {
         b.push_back(0);
         u32At(b, 12, static_cast<uint32_t>(b.size()));
       },
       "bytes after the end (byte " + std::to_string(good.size()) + ")"},
      {"a presence of 2", [&](auto& b) { u32At(b, 16, 2); },
       "the presence of the scale is not 0 or 1 (byte 16)"},
      {"an absent mapping with contents", [&](auto& b) { u32At(b, mappingFlag, 0); },
       "an absent keyboard mapping has contents (byte " + std::to_string(mappingFlag) + ")"},
      {"a file over 1 MiB", [&](auto& b) { u32At(b, 20 + 4 + 5, (1 << 20) + 1); },
       "a file is too long (byte 29)"},
      {"a length past the end", [&](auto& b) { u32At(b, 20 + 4 + 5, 1 << 20); },
       "the data ends early (byte 29)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<uint8_t> bytes = good;
    row.damage(bytes);
    TuningFiles kept = files("kept", {});
    std::string error;
    EXPECT_FALSE(decodeTuning(bytes.data(), bytes.size(), kept, &error));
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(kept, files("kept", {}));
  }
}

}  // namespace
