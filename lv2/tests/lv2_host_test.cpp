// VelaOrin.lv2 through our lilv host against VelaOrin.so through its VST 2 entry point: the
// same MIDI at the same frames with the same values gives the same bits, whatever blocks either
// host cuts; the presets set the ports to the factory programs; the host call orders the
// specification allows leave nothing behind.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "DAEffectX.h"
#include "Lv2TestHost.h"
#include "MidiList.h"
#include "PluginLoader.h"
#include "RecordingHost.h"
#include "TestRandom.h"

namespace {

struct TimedMidi {
  int64_t frame;
  uint8_t status, data1, data2;
};
// A host's automation point: hosts cut their blocks there, since control ports hold one value
// for a whole run.
struct Automation {
  int64_t frame;
  int32_t index;
  float value;
};
struct Song {
  int64_t length = 0;
  std::vector<TimedMidi> midi;         // in frame order
  std::vector<Automation> automation;  // in frame order, indices rising within a frame
};

// Stereo output, left then right.
struct Render {
  std::vector<float> left, right;
};

// Cuts [0, length) at the automation points and into blocks of the given sizes, in turn.
void forEachBlock(const Song& song, const std::vector<int32_t>& sizes,
                  const std::function<void(int64_t start, int32_t frames)>& block) {
  size_t k = 0, change = 0;
  for (int64_t pos = 0; pos < song.length;) {
    int64_t end = std::min(pos + sizes[k++ % sizes.size()], song.length);
    while (change < song.automation.size() && song.automation[change].frame <= pos) ++change;
    if (change < song.automation.size()) end = std::min(end, song.automation[change].frame);
    block(pos, static_cast<int32_t>(end - pos));
    pos = end;
  }
}

template <class Each>
void eachIn(const std::vector<TimedMidi>& midi, int64_t start, int64_t end, Each each) {
  for (const TimedMidi& m : midi)
    if (m.frame >= start && m.frame < end) each(m);
}

Render renderVst(const Song& song, float rate, int32_t program = 0) {
  Render out{std::vector<float>(static_cast<size_t>(song.length)),
             std::vector<float>(static_cast<size_t>(song.length))};
  if (!builtPlugin().loaded()) return out;
  RecordingHost::instance().reset();
  AEffect* effect = builtPlugin().entry("main")(&RecordingHost::callback);
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, rate);
  dispatch(effect, effSetBlockSize, 0, 512);
  dispatch(effect, effMainsChanged, 0, 1);
  if (program != 0) dispatch(effect, effSetProgram, 0, program);
  forEachBlock(song, {512}, [&](int64_t start, int32_t frames) {
    for (const Automation& a : song.automation)
      if (a.frame == start) effect->setParameter(effect, a.index, a.value);
    MidiList list;
    eachIn(song.midi, start, start + frames, [&](const TimedMidi& m) {
      list.add(static_cast<int32_t>(m.frame - start), m.status, m.data1, m.data2);
    });
    if (!list.empty()) dispatch(effect, effProcessEvents, 0, 0, list.list());
    float* outputs[2] = {&out.left[static_cast<size_t>(start)], &out.right[static_cast<size_t>(start)]};
    effect->processReplacing(effect, nullptr, outputs, frames);
  });
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effClose);
  return out;
}

// `extras` adds what an LV2 host may put in the sequence beside the song's MIDI and VST 2 never
// carries: atoms of other types, a sysex, a program change and a clock tick.
Render renderLv2(const Song& song, double rate, const std::vector<int32_t>& sizes,
                 bool extras = true, const std::string& preset = "") {
  Render out{std::vector<float>(static_cast<size_t>(song.length), 1e9f),
             std::vector<float>(static_cast<size_t>(song.length), -1e9f)};
  Lv2Synth synth(rate);
  if (!synth.open()) return out;
  if (!preset.empty()) {
    EXPECT_TRUE(synth.applyPreset(preset)) << preset;
  }
  const uint32_t intType = Lv2World::get().map(LV2_ATOM__Int);
  const uint32_t midiType = Lv2World::get().map(LV2_MIDI__MidiEvent);
  forEachBlock(song, sizes, [&](int64_t start, int32_t frames) {
    for (const Automation& a : song.automation)
      if (a.frame == start) synth.control(a.index) = a.value;
    eachIn(song.midi, start, start + frames, [&](const TimedMidi& m) {
      const int64_t frame = m.frame - start;
      if (extras && m.frame % 3 == 0) {
        const int32_t noteOnIfReadAsMidi = 0x007F3C90;  // bytes 90 3C 7F 00
        const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
        const uint8_t programChange[] = {0xC0, 5};
        const uint8_t clock[] = {0xF8};
        synth.atom(frame, intType, &noteOnIfReadAsMidi, sizeof noteOnIfReadAsMidi);
        synth.atom(frame, midiType, sysex, sizeof sysex);
        synth.atom(frame, midiType, programChange, sizeof programChange);
        synth.atom(frame, midiType, clock, sizeof clock);
      }
      synth.midi(frame, m.status, m.data1, m.data2);
    });
    synth.run(&out.left[static_cast<size_t>(start)], &out.right[static_cast<size_t>(start)],
              static_cast<uint32_t>(frames));
  });
  return out;
}

// Where two renders first differ, or -1.
int64_t firstDifference(const Render& a, const Render& b) {
  for (size_t i = 0; i < a.left.size() && i < b.left.size(); ++i)
    if (std::memcmp(&a.left[i], &b.left[i], 4) != 0 || std::memcmp(&a.right[i], &b.right[i], 4) != 0)
      return static_cast<int64_t>(i);
  return a.left.size() == b.left.size() ? -1 : static_cast<int64_t>(std::min(a.left.size(), b.left.size()));
}

float peakOf(const Render& r) {
  float peak = 0.0f;
  for (float v : r.left) peak = std::max(peak, std::isfinite(v) ? std::fabs(v) : 1e30f);
  return peak;
}

// Random notes (some ended by velocity 0), bends and the panic controllers over every
// channel, with automation of every parameter, several at one point, "FB1"/"FB2" while notes
// sound (they retune), out-of-range values. Each automated value differs from the one before:
// a port set to its current value is no change at all in LV2.
Song songForComparison(int64_t length, uint64_t seed) {
  Song song;
  song.length = length;
  Random rng{seed};
  for (int64_t t = 3; t < length - 2000;) {
    const auto channel = static_cast<uint8_t>(rng.below(16));
    const auto note = static_cast<uint8_t>(36 + rng.below(48));
    const int64_t duration = 30 + rng.below(9000);
    song.midi.push_back({t, static_cast<uint8_t>(0x90 | channel), note,
                         static_cast<uint8_t>(1 + rng.below(127))});
    if (rng.below(4) == 0)
      song.midi.push_back({t + duration / 2, static_cast<uint8_t>(0xE0 | channel), 0,
                           static_cast<uint8_t>(rng.below(128))});
    const bool byVelocityZero = rng.below(3) == 0;
    song.midi.push_back({t + duration, static_cast<uint8_t>((byVelocityZero ? 0x90 : 0x80) | channel),
                         note, 0});
    t += rng.below(2) == 0 ? duration / 3 : 100 + rng.below(5000);
  }
  for (const auto& [fraction, controller] :
       {std::pair{0.30, 123}, std::pair{0.45, 121}, std::pair{0.62, 120}, std::pair{0.80, 126}})
    song.midi.push_back({static_cast<int64_t>(fraction * static_cast<double>(length)) + 7,
                         0xB5, static_cast<uint8_t>(controller), 0});
  std::stable_sort(song.midi.begin(), song.midi.end(),
                   [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });

  const struct {
    double at;
    int32_t index;
    float value;
  } points[] = {
      {0.05, kCutOff, 0.7f}, {0.05, kQ, 0.8f},  {0.10, kType, 0.5f},  {0.12, kMod1, 0.75f},
      {0.12, kFB1, 0.6f},    {0.18, kM1S, 0.0f}, {0.22, kMod2, 0.3f},  {0.25, kFB2, 0.4f},
      {0.28, kA, 0.3f},      {0.28, kD, 0.05f},  {0.28, kS, 0.9f},     {0.28, kR, 0.02f},
      {0.35, kType, 1.0f},   {0.40, kEnv, 0.1f}, {0.44, kM2S, 0.0f},   {0.50, kCutOff, 1.7f},
      {0.55, kQ, -0.2f},     {0.60, kFB1, 0.0f}, {0.66, kType, 0.24f}, {0.70, kMod1, 0.2f},
      {0.75, kM1S, 0.7f},    {0.85, kR, 0.3f},   {0.90, kType, 0.76f},
  };
  for (const auto& p : points)
    song.automation.push_back({static_cast<int64_t>(p.at * static_cast<double>(length)), p.index, p.value});
  return song;
}

const std::vector<std::vector<int32_t>> kLv2Blocks = {{1}, {64}, {4096}, {7, 333, 1, 1000, 128, 90}};

TEST(Lv2Render, SameBitsAsTheVstPluginAtAnyRateAndBlocks) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  ASSERT_NE(Lv2World::get().plugin(), nullptr) << Lv2World::get().error();
  for (const float rate : {44100.0f, 48000.0f, 96000.0f, 22050.0f}) {
    SCOPED_TRACE(rate);
    const Song song = songForComparison(static_cast<int64_t>(rate * 2.5f), static_cast<uint64_t>(rate));
    const Render vst = renderVst(song, rate);
    EXPECT_GT(peakOf(vst), 0.02f);
    EXPECT_LT(peakOf(vst), 2.0f);
    for (const auto& sizes : kLv2Blocks) {
      SCOPED_TRACE(testing::Message() << "LV2 blocks of " << sizes[0] << (sizes.size() > 1 ? "..." : ""));
      const int64_t at = firstDifference(renderLv2(song, rate, sizes), vst);
      EXPECT_EQ(at, -1) << "first difference at frame " << at;
    }
  }
}

TEST(Lv2Render, PresetsSetThePortsToTheFactoryPrograms) {
  ASSERT_NE(Lv2World::get().plugin(), nullptr) << Lv2World::get().error();
  const struct {
    const char* label;
    int32_t program;
    float ParameterInfo::*column;
  } factory[] = {{"init1", 0, &ParameterInfo::initial}, {"Eth Drm", 1, &ParameterInfo::ethDrm}};
  const std::vector<std::string> uris = Lv2World::get().presetUris();
  ASSERT_EQ(uris.size(), std::size(factory));
  Song phrase;
  phrase.length = 30000;
  phrase.midi = {{10, 0x90, 60, 100}, {9000, 0x90, 67, 90}, {15000, 0x80, 60, 0}, {21000, 0x80, 67, 0}};
  for (size_t n = 0; n < uris.size(); ++n) {
    SCOPED_TRACE(uris[n]);
    EXPECT_EQ(Lv2World::get().presetLabel(uris[n]), factory[n].label);
    Lv2Synth synth(44100.0);
    ASSERT_TRUE(synth.open());
    for (int32_t i = 0; i < kNumParams; ++i) synth.control(i) = -1.0f;
    ASSERT_TRUE(synth.applyPreset(uris[n]));
    for (const ParameterInfo& p : kParameters)
      EXPECT_EQ(std::bit_cast<uint32_t>(synth.control(p.index)), std::bit_cast<uint32_t>(p.*factory[n].column))
          << p.name;
    const Render vst = renderVst(phrase, 44100.0f, factory[n].program);
    EXPECT_GT(peakOf(vst), 0.02f);
    EXPECT_EQ(firstDifference(renderLv2(phrase, 44100.0, {256}, false, uris[n]), vst), -1);
  }
}

// What the specification lets a host do, against what the same notes give a fresh instance.
TEST(Lv2Render, HostCallOrdersLeaveNoTrace) {
  ASSERT_NE(Lv2World::get().plugin(), nullptr) << Lv2World::get().error();
  constexpr uint32_t kFrames = 8000;
  const auto play = [](Lv2Synth& synth, int64_t noteAt) {
    Render r{std::vector<float>(kFrames), std::vector<float>(kFrames)};
    if (noteAt >= 0) synth.midi(noteAt, 0x90, 64, 100);
    synth.run(r.left.data(), r.right.data(), kFrames);
    return r;
  };
  Lv2Synth fresh(48000.0);
  ASSERT_TRUE(fresh.open());
  const Render expected = play(fresh, 0);
  ASSERT_GT(peakOf(expected), 0.02f);

  const struct {
    const char* what;
    std::function<void(Lv2Synth&)> before;  // then the note at frame 0 of the next block
    int64_t noteAt;
  } rows[] = {
      // Re-activation forgets held notes, the bend, and the voice the next note takes.
      {"deactivate and activate again after notes and a bend",
       [&](Lv2Synth& s) {
         s.midi(0, 0x90, 40, 127);
         s.midi(100, 0x90, 52, 127);
         s.midi(200, 0xE0, 0, 127);
         play(s, -1);
         s.deactivate();
         s.activate();
       },
       0},
      // run(0) renders nothing and its events act at the next block's first frame.
      {"a note in a block of no frames",
       [&](Lv2Synth& s) {
         s.midi(0, 0x90, 64, 100);
         float none = 0.0f;
         s.run(&none, &none, 0);
       },
       -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Lv2Synth synth(48000.0);
    ASSERT_TRUE(synth.open());
    row.before(synth);
    EXPECT_EQ(firstDifference(play(synth, row.noteAt), expected), -1);
  }
}

}  // namespace
