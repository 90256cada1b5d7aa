// VelaOrin.lv2 through our lilv host against VelaOrin.so through its VST 2 entry point: the same
// MIDI at the same frames with the same values gives the same bits, whatever blocks either host
// cuts; the presets are the new programs and the factory library; host call orders LV2 allows
// leave nothing behind.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <vector>

#include "DAEffectX.h"
#include "FactoryLibrary.h"
#include "Lv2TestHost.h"
#include "MidiList.h"
#include "PluginLoader.h"
#include "RecordingHost.h"
#include "RenderCompare.h"
#include "TestRandom.h"
#include "Tuning.h"

namespace {

// Hosts cut their blocks at the automation points: a control port holds one value a run (in a
// Song here, indices rise within a frame).

// Blocks of the given sizes in turn, also cut at each automation point: f(start, frames).
void forEachBlock(const Song& song, const std::vector<int32_t>& sizes,
                  const std::function<void(int64_t, int32_t)>& f) {
  size_t k = 0;
  for (int64_t pos = 0; pos < song.length;) {
    int64_t end = std::min(pos + sizes[k++ % sizes.size()], song.length);
    for (const Automation& a : song.automation)
      if (a.frame > pos) end = std::min(end, a.frame);
    f(pos, static_cast<int32_t>(end - pos));
    pos = end;
  }
}

// With a tuning, handed over as our tools do.
Render renderVst(const Song& song, float rate, int32_t program = 0,
                 const std::vector<uint8_t>& tuning = {}) {
  Render out(static_cast<size_t>(2 * song.length));
  RecordingHost::instance().reset();
  AEffect* effect = builtPlugin().entry("main")(&RecordingHost::callback);
  if (!tuning.empty()) {
    EXPECT_EQ(setTuning(effect, tuning), "");
  }
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, rate);
  dispatch(effect, effSetBlockSize, 0, 512);
  dispatch(effect, effMainsChanged, 0, 1);
  dispatch(effect, effSetProgram, 0, program);
  forEachBlock(song, {512}, [&](int64_t start, int32_t frames) {
    for (const Automation& a : song.automation)
      if (a.frame == start) effect->setParameter(effect, a.index, a.value);
    MidiList list;
    for (const TimedMidi& m : song.midi)
      if (m.frame >= start && m.frame < start + frames)
        list.add(static_cast<int32_t>(m.frame - start), m.status, m.data1, m.data2);
    dispatch(effect, effProcessEvents, 0, 0, list.list());
    float* outputs[2] = {&out[static_cast<size_t>(start)],
                         &out[static_cast<size_t>(song.length + start)]};
    effect->processReplacing(effect, nullptr, outputs, frames);
  });
  dispatch(effect, effClose);
  return out;
}

// Beside every third note, what an LV2 sequence may carry and VST 2 never does: an atom of
// another type that reads as a note-on if taken for MIDI, a sysex, a program change, a clock.
Render renderWith(Lv2Synth& synth, const Song& song, const std::vector<int32_t>& sizes) {
  Render out(static_cast<size_t>(2 * song.length), 1e9f);
  const uint32_t intType = Lv2World::get().map(LV2_ATOM__Int);
  const uint32_t midiType = Lv2World::get().map(LV2_MIDI__MidiEvent);
  const int32_t noteOnIfReadAsMidi = 0x007F3C90;
  const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, programChange[] = {0xC0, 5},
                clock[] = {0xF8};
  forEachBlock(song, sizes, [&](int64_t start, int32_t frames) {
    for (const Automation& a : song.automation)
      if (a.frame == start) synth.control(a.index) = a.value;
    for (const TimedMidi& m : song.midi) {
      if (m.frame < start || m.frame >= start + frames) continue;
      if (m.frame % 3 == 0) {
        synth.atom(m.frame - start, intType, &noteOnIfReadAsMidi, 4);
        synth.atom(m.frame - start, midiType, sysex, sizeof sysex);
        synth.atom(m.frame - start, midiType, programChange, sizeof programChange);
        synth.atom(m.frame - start, midiType, clock, sizeof clock);
      }
      synth.midi(m.frame - start, m.status, m.data1, m.data2);
    }
    synth.run(&out[static_cast<size_t>(start)], &out[static_cast<size_t>(song.length + start)],
              static_cast<uint32_t>(frames));
  });
  return out;
}

Render renderLv2(const Song& song, double rate, const std::vector<int32_t>& sizes,
                 const std::string& preset = "") {
  Lv2Synth synth(rate);
  if (!synth.open() || (!preset.empty() && !synth.applyPreset(preset))) return {};
  return renderWith(synth, song, sizes);
}

TEST(Lv2Render, SameBitsAsTheVstPluginAtAnyRateAndBlocks) {
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  ASSERT_NE(Lv2World::get().plugin(), nullptr) << Lv2World::get().error();
  for (const float rate : {44100.0f, 48000.0f, 96000.0f, 22050.0f}) {
    SCOPED_TRACE(rate);
    const Song song =
        randomSong(static_cast<int64_t>(rate * 2.5f), static_cast<uint64_t>(rate));
    const Render vst = renderVst(song, rate);
    EXPECT_GT(peakOf(vst), 0.02f);
    for (const std::vector<int32_t>& sizes :
         {std::vector<int32_t>{1}, {64}, {4096}, {7, 333, 1, 1000, 128, 90}}) {
      SCOPED_TRACE(testing::Message() << "LV2 blocks from " << sizes[0]);
      EXPECT_EQ(firstDifference(renderLv2(song, rate, sizes), vst), -1);
    }
  }
}

// Each preset, applied through lilv, sets the ports by symbol: the programs of a new instance
// that differ (which sound as the VST 2 programs), and the factory library as the bank "Factory".
TEST(Lv2Render, PresetsAreTheNewProgramsAndTheFactoryLibrary) {
  struct Expected {
    std::string uri, label;
    std::array<float, kNumParams> values;
    int32_t program;  // of a new VST 2 instance, or -1
  };
  std::vector<Expected> expected;
  const float ParameterInfo::*columns[] = {&ParameterInfo::initial, &ParameterInfo::ethDrm};
  for (int32_t n = 0; n < 2; ++n) {
    expected.push_back({std::string(velalv2::kPluginUri) + "#preset0" + std::to_string(n + 1),
                        n == 0 ? "init1" : "Eth Drm", {}, n});
    for (const ParameterInfo& p : kParameters) expected.back().values[p.index] = p.*columns[n];
  }
  for (size_t n = 0; n < kFactorySounds.size(); ++n) {
    char uri[64];
    std::snprintf(uri, sizeof uri, "%s#factory%02zu", velalv2::kPluginUri, n + 1);
    expected.push_back({uri, kFactorySounds[n].name, {}, -1});
    std::copy(std::begin(kFactorySounds[n].values), std::end(kFactorySounds[n].values),
              expected.back().values.begin());
  }
  std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.uri < b.uri; });
  const std::vector<std::string> uris = Lv2World::get().presetUris();
  ASSERT_EQ(uris.size(), expected.size()) << Lv2World::get().error();
  LilvWorld* world = Lv2World::get().world();
  LilvNode* bankProperty = lilv_new_uri(world, LV2_PRESETS__bank);
  LilvNode* labelProperty = lilv_new_uri(world, LILV_NS_RDFS "label");
  const Song phrase{30000, {{10, 0x90, 60, 100}, {9000, 0x90, 67, 90}, {15000, 0x80, 60, 0}}, {}};
  for (size_t n = 0; n < uris.size(); ++n) {
    const Expected& e = expected[n];
    SCOPED_TRACE(e.uri);
    ASSERT_EQ(uris[n], e.uri);
    Lv2Synth synth(44100.0);
    std::string label;
    ASSERT_TRUE(synth.applyPreset(e.uri, &label));
    EXPECT_EQ(label, e.label);
    for (const ParameterInfo& p : kParameters)
      EXPECT_EQ(std::bit_cast<uint32_t>(synth.control(p.index)),
                std::bit_cast<uint32_t>(e.values[p.index]))
          << p.name;
    LilvNode* preset = lilv_new_uri(world, e.uri.c_str());
    LilvNode* bank = lilv_world_get(world, preset, bankProperty, nullptr);
    LilvNode* bankLabel = bank != nullptr ? lilv_world_get(world, bank, labelProperty, nullptr) : nullptr;
    EXPECT_EQ(bankLabel != nullptr ? lilv_node_as_string(bankLabel) : "", std::string(e.program < 0 ? "Factory" : ""));
    lilv_node_free(bankLabel);
    lilv_node_free(bank);
    lilv_node_free(preset);
    if (e.program < 0) continue;
    const Render vst = renderVst(phrase, 44100.0f, e.program);
    EXPECT_GT(peakOf(vst), 0.02f);
    EXPECT_EQ(firstDifference(renderLv2(phrase, 44100.0, {256}, e.uri), vst), -1);
  }
  lilv_node_free(labelProperty);
  lilv_node_free(bankProperty);
}

// What LV2 lets a host do, against the same note in a fresh instance.
TEST(Lv2Render, ReactivationAndEmptyRunsLeaveNoTrace) {
  const auto play = [](Lv2Synth& synth, bool note) {
    Render r(16000);
    if (note) synth.midi(0, 0x90, 64, 100);
    synth.run(r.data(), r.data() + 8000, 8000);
    return r;
  };
  Lv2Synth fresh(48000.0);
  const Render expected = play(fresh, true);
  ASSERT_GT(peakOf(expected), 0.02f);
  {
    SCOPED_TRACE("deactivate and activate again after notes and a bend");
    Lv2Synth synth(48000.0);
    synth.midi(0, 0x90, 40, 127);
    synth.midi(100, 0x90, 52, 127);
    synth.midi(200, 0xE0, 0, 127);
    play(synth, false);
    synth.activate(false);
    synth.activate(true);
    EXPECT_EQ(firstDifference(play(synth, true), expected), -1);
  }
  {
    SCOPED_TRACE("a note sent in a block of no frames acts at the next block's first");
    Lv2Synth synth(48000.0);
    synth.midi(0, 0x90, 64, 100);
    float none = 0.0f;
    synth.run(&none, &none, 0);
    EXPECT_EQ(firstDifference(play(synth, false), expected), -1);
  }
}

// The tuning's files set as hosts' file choosers set them (patch:Set of an atom:Path, read by
// the worker) play the same bits as VelaOrin.so given that tuning by our tools' call. The state
// keeps the files' contents: restored with the files gone, it plays the same; a preset (port
// values only) and a re-activation keep the tuning; a state without one brings the instrument's
// own table back. A refused file or state changes nothing and says why in the host's log.
TEST(Lv2Tuning, FilesSetByPatchSetAreKeptInTheStateWithoutTheFiles) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vela-lv2-tuning-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const auto write = [&](const char* name, const std::string& text) {
    std::ofstream(folder / name, std::ios::binary) << text;
    return (folder / name).string();
  };
  std::string scaleText = "! 19edo.scl\n19-tone equal\n19\n";
  for (int k = 1; k <= 19; ++k) scaleText += std::to_string(1200.0 * k / 19) + "\n";
  const std::string mappingText = "12\n0\n127\n60\n69\n432.0\n19\n0\nx\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n";
  const std::string scale = write("19edo.scl", scaleText);
  const std::string mapping = write("no-c-sharp.kbm", mappingText);
  const std::string bad = write("bad.scl", "d\n3\n100.0\n2/1\n");
  const TuningFiles files{ScalaText{"19edo.scl", scaleText}, ScalaText{"no-c-sharp.kbm", mappingText}};
  const TuningFiles scaleOnly{ScalaText{"19edo.scl", scaleText}, std::nullopt};
  // 61 is unmapped: its note-on is ignored.
  const Song phrase{20000, {{10, 0x90, 60, 100}, {4000, 0x90, 61, 90}, {9000, 0x90, 74, 90},
                            {15000, 0x80, 74, 0}}, {}};
  const Render tunedVst = renderVst(phrase, 44100.0f, 0, encodeTuning(files));
  const Render plainVst = renderVst(phrase, 44100.0f);
  ASSERT_NE(firstDifference(tunedVst, plainVst), -1);
  // Every render begins and ends in silence, so one instance can play it again and again.
  ASSERT_EQ(tunedVst[static_cast<size_t>(phrase.length - 1)], 0.0f);
  Lv2World::get().log().clear();

  Lv2Synth synth(44100.0);
  ASSERT_TRUE(synth.open());
  float none[1];
  synth.patchSet(0, velalv2::kScaleUri, scale);
  synth.patchSet(0, velalv2::kKeyboardMappingUri, mapping);
  synth.run(none, none, 0);
  EXPECT_EQ(synth.runWorker(), 2);
  EXPECT_EQ(firstDifference(renderWith(synth, phrase, {256}), tunedVst), -1);
  const std::string state = synth.saveState();
  EXPECT_NE(state.find(velalv2::kTuningStateUri), std::string::npos) << state;
  std::filesystem::remove(scale);
  std::filesystem::remove(mapping);

  Lv2Synth restored(44100.0);
  ASSERT_TRUE(restored.restoreState(state));
  EXPECT_EQ(firstDifference(renderWith(restored, phrase, {100}), tunedVst), -1);
  ASSERT_TRUE(restored.applyPreset(std::string(velalv2::kPluginUri) + "#preset01"));
  restored.activate(false);
  restored.activate(true);
  EXPECT_EQ(firstDifference(renderWith(restored, phrase, {4096}), tunedVst), -1);
  EXPECT_EQ(Lv2World::get().log(), std::vector<std::string>{});

  // Refusals: a file the reader refuses, one that is not there, a value that is no path, a
  // damaged state. The log says why; the tuning stays.
  restored.patchSet(0, velalv2::kScaleUri, bad);
  restored.patchSet(0, velalv2::kScaleUri, scale);
  restored.patchSet(0, velalv2::kKeyboardMappingUri, mapping, false);
  restored.run(none, none, 0);
  EXPECT_EQ(restored.runWorker(), 3);
  std::string damaged = state;
  damaged = std::regex_replace(damaged, std::regex("(tuning> \"\"\")[^\"]*"), "$1AAAA");
  ASSERT_NE(damaged, state);
  restored.restoreState(damaged);
  const std::vector<std::string> expected = {
      "VelaOrin: scale not changed: bad.scl:2: 3 pitches announced, 2 given\n",
      "VelaOrin: scale not changed: cannot open '" + scale + "': No such file or directory\n",
      "VelaOrin: keyboard mapping not changed: the value is not a file path\n",
      "VelaOrin: the saved tuning is refused (wrong magic: not a VelaOrin tuning (byte 0)); kept "
      "the tuning\n"};
  EXPECT_EQ(Lv2World::get().log(), expected);
  EXPECT_EQ(firstDifference(renderWith(restored, phrase, {256}), tunedVst), -1);

  // An empty path forgets that file; a state saved without a tuning forgets it all.
  restored.patchSet(0, velalv2::kKeyboardMappingUri, "");
  restored.run(none, none, 0);
  EXPECT_EQ(restored.runWorker(), 1);
  EXPECT_EQ(firstDifference(renderWith(restored, phrase, {256}),
                            renderVst(phrase, 44100.0f, 0, encodeTuning(scaleOnly))),
            -1);
  Lv2Synth plain(44100.0);
  ASSERT_TRUE(restored.restoreState(plain.saveState()));
  EXPECT_EQ(firstDifference(renderWith(restored, phrase, {256}), plainVst), -1);
  std::filesystem::remove_all(folder);
}

}  // namespace
