// VelaOrin.clap through our own CLAP host, loaded as hosts load it: the entry and factories, the
// ports and parameters, the same bits as VelaOrin.so (VST 2) for the same notes, controllers and
// parameter changes at every block size, note ends, modulation, state and the factory presets.
// The same program runs on Windows (under Wine) against the DLLs built there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ClapTestHost.h"
#include "DAEffectX.h"
#include "FactoryLibrary.h"
#include "MidiList.h"
#include "PluginLoader.h"
#include "Tuning.h"
#include "VelaIdentity.h"

namespace {

constexpr char kId[] = "velaorin.VelaOrin";

struct MidiAt {
  uint32_t frame;
  uint8_t status, data1, data2;
};

// VelaOrin.so rendering `midi` (absolute frames) in blocks of 512, its values changed between
// blocks cut at the changes' frames.
struct ValueAt {
  uint32_t frame;
  int32_t index;
  float value;
};
// With a tuning, handed over as our tools do.
std::vector<float> vst2Render(double rate, const std::vector<MidiAt>& midi, uint32_t total,
                              const std::vector<ValueAt>& changes = {},
                              const std::vector<uint8_t>& tuning = {}) {
  AEffect* effect = builtPlugin().hostEntry()(
      [](AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) -> intptr_t {
        return opcode == audioMasterVersion ? 2400 : 0;
      });
  if (!tuning.empty()) {
    EXPECT_EQ(setTuning(effect, tuning), "");
  }
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  dispatch(effect, effMainsChanged, 0, 1);
  std::vector<float> left(total), right(total);
  for (uint32_t start = 0; start < total;) {
    uint32_t end = std::min(start + 512, total);
    for (const ValueAt& c : changes) {
      if (c.frame == start) effect->setParameter(effect, c.index, c.value);
      if (c.frame > start && c.frame < end) end = c.frame;
    }
    MidiList list;
    for (const MidiAt& m : midi)
      if (m.frame >= start && m.frame < end) list.add(static_cast<int32_t>(m.frame - start), m.status, m.data1, m.data2);
    dispatch(effect, effProcessEvents, 0, 0, list.list());
    float* outputs[2] = {left.data() + start, right.data() + start};
    effect->processReplacing(effect, nullptr, outputs, static_cast<int32_t>(end - start));
    start = end;
  }
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effClose);
  return left;
}

// The test song: two voices overlapping, bends, the controllers the engine acts on, note-offs
// on other channels, velocities from 1 to 127.
std::vector<MidiAt> song(uint32_t scale) {
  std::vector<MidiAt> m = {
      {0, 0x90, 60, 100},     {scale / 8, 0x91, 64, 1},   {scale / 5, 0xE0, 0, 100},
      {scale / 4, 0x80, 60, 0}, {scale / 3, 0x9F, 67, 127}, {scale / 3 + 1, 0xB0, 121, 0},
      {scale / 2, 0x8F, 64, 5},  {scale / 2 + 7, 0x90, 48, 63}, {scale * 5 / 8, 0xB2, 123, 0},
      {scale * 11 / 16, 0x90, 50, 90}, {scale * 3 / 4, 0xB0, 120, 0}, {scale * 13 / 16, 0x90, 72, 64},
      {scale * 7 / 8, 0xB0, 126, 0}, {scale * 15 / 16, 0x90, 55, 100}};
  return m;
}

// The song as CLAP events: notes as CLAP notes (note-offs addressed as Qtractor and Bitwig do:
// ids and channels as wildcards), everything else as MIDI; or all of it as MIDI.
EventList clapSong(const std::vector<MidiAt>& midi, bool clapNotes) {
  EventList events;
  int32_t id = 0;
  for (const MidiAt& m : midi) {
    const int kind = m.status & 0xF0;
    if (clapNotes && kind == 0x90 && m.data2 > 0)
      events.noteOn(m.frame, m.data1, m.data2 / 127.0, id++, static_cast<int16_t>(m.status & 0x0F));
    else if (clapNotes && kind == 0x80)
      events.noteOff(m.frame, m.data1);
    else
      events.midi(m.frame, m.status, m.data1, m.data2);
  }
  return events;
}

int32_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return -2;
  for (size_t i = 0; i < a.size(); ++i)
    if (bitsOf(a[i]) != bitsOf(b[i])) return static_cast<int32_t>(i);
  return -1;
}

struct ClapTest : testing::Test {
  void SetUp() override {
    ASSERT_TRUE(builtClap().loaded()) << builtClap().error();
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  }
};

TEST_F(ClapTest, EntryFactoryAndDescriptor) {
  const clap_plugin_entry* entry = builtClap().entry();
  EXPECT_EQ(entry->clap_version.major, 1u);
  for (const char* unknown : {"clap.plugin-factory ", "clap.preset-discovery-factory/draft-1",
                              "clap.plugin-factory/2", ""})
    EXPECT_EQ(entry->get_factory(unknown), nullptr) << unknown;
  EXPECT_EQ(entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID),
            entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT));
  EXPECT_TRUE(entry->init(builtClap().path().c_str())) << "a second init is fine";
  entry->deinit();

  const clap_plugin_factory* factory = builtClap().pluginFactory();
  ASSERT_NE(factory, nullptr);
  ASSERT_EQ(factory->get_plugin_count(factory), 1u);
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
  const clap_plugin_descriptor* d = factory->get_plugin_descriptor(factory, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->id, kId);
  EXPECT_STREQ(d->name, "VelaOrin");
  EXPECT_STREQ(d->vendor, vela::identity::kVendor);
  EXPECT_STREQ(d->version, vela::identity::kVersion);
  std::vector<std::string> features;
  for (const char* const* f = d->features; *f != nullptr; ++f) features.push_back(*f);
  EXPECT_EQ(features, (std::vector<std::string>{"instrument", "synthesizer", "stereo"}));

  TestHost host;
  for (const char* wrong : {"velaorin.VelaOrinX", "velaorin.VelaOri", "VelaOrin"})
    EXPECT_EQ(factory->create_plugin(factory, host.host(), wrong), nullptr) << wrong;
  ClapInstance instance(builtClap(), host);
  ASSERT_NE(instance.plugin(), nullptr);
  EXPECT_EQ(instance.plugin()->desc, d);
  EXPECT_EQ(instance.extension<void>("clap.unknown"), nullptr);
}

TEST_F(ClapTest, PortsAndParametersAreThoseOfVst2) {
  TestHost host;
  ClapInstance instance(builtClap(), host);
  const auto* audio = instance.extension<clap_plugin_audio_ports>(CLAP_EXT_AUDIO_PORTS);
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->count(instance.plugin(), true), 0u);
  ASSERT_EQ(audio->count(instance.plugin(), false), 1u);
  clap_audio_port_info port{};
  ASSERT_TRUE(audio->get(instance.plugin(), 0, false, &port));
  EXPECT_EQ(port.flags, CLAP_AUDIO_PORT_IS_MAIN);
  EXPECT_EQ(port.channel_count, 2u);
  EXPECT_STREQ(port.port_type, "stereo");
  EXPECT_EQ(port.in_place_pair, CLAP_INVALID_ID);
  EXPECT_FALSE(audio->get(instance.plugin(), 0, true, &port));

  const auto* notes = instance.extension<clap_plugin_note_ports>(CLAP_EXT_NOTE_PORTS);
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ(notes->count(instance.plugin(), false), 0u);
  ASSERT_EQ(notes->count(instance.plugin(), true), 1u);
  clap_note_port_info notePort{};
  ASSERT_TRUE(notes->get(instance.plugin(), 0, true, &notePort));
  EXPECT_EQ(notePort.supported_dialects, CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI);
  EXPECT_EQ(notePort.preferred_dialect, CLAP_NOTE_DIALECT_CLAP);

  AEffect* effect = builtPlugin().hostEntry()(
      [](AEffect*, int32_t, int32_t, intptr_t, void*, float) -> intptr_t { return 2400; });
  const auto* params = instance.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  ASSERT_NE(params, nullptr);
  ASSERT_EQ(params->count(instance.plugin()), 14u);
  for (uint32_t i = 0; i < 14; ++i) {
    SCOPED_TRACE(i);
    clap_param_info info{};
    ASSERT_TRUE(params->get_info(instance.plugin(), i, &info));
    char name[64] = {};
    dispatch(effect, effGetParamName, static_cast<int32_t>(i), 0, name);
    EXPECT_EQ(info.id, i);
    EXPECT_STREQ(info.name, name);
    EXPECT_EQ(info.flags, CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_MODULATABLE);
    EXPECT_EQ(info.min_value, 0.0);
    EXPECT_EQ(info.max_value, 1.0);
    EXPECT_EQ(info.default_value, static_cast<double>(effect->getParameter(effect, static_cast<int32_t>(i))));
    EXPECT_EQ(instance.value(i), info.default_value);
    EXPECT_NE(info.module[0], '\0');
  }
  clap_param_info info{};
  EXPECT_FALSE(params->get_info(instance.plugin(), 14, &info));
  double v = 0;
  EXPECT_FALSE(params->get_value(instance.plugin(), 14, &v));
  dispatch(effect, effClose);
}

TEST_F(ClapTest, ValueTextRoundTrips) {
  TestHost host;
  ClapInstance instance(builtClap(), host);
  const auto* params = instance.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  const clap_plugin* p = instance.plugin();
  for (clap_id id = 0; id < 14; ++id) {
    for (double value : {0.0, 1e-7, 0.1, 1.0 / 3.0, 0.5, 0.4999995, 0.999999, 1.0}) {
      SCOPED_TRACE(testing::Message() << id << " " << value);
      char text[32] = {};
      ASSERT_TRUE(params->value_to_text(p, id, value, text, sizeof text));
      double back = -1.0;
      ASSERT_TRUE(params->text_to_value(p, id, text, &back));
      EXPECT_NEAR(back, value, 1e-6);
      char again[32] = {};
      ASSERT_TRUE(params->value_to_text(p, id, back, again, sizeof again));
      EXPECT_STREQ(again, text);
    }
  }
  char text[32];
  EXPECT_FALSE(params->value_to_text(p, 14, 0.5, text, sizeof text));
  EXPECT_FALSE(params->value_to_text(p, 0, 0.5, text, 4)) << "too small a buffer";
  double value = 0.0;
  for (const char* bad : {"", "abc", "0.5x", "0,5"}) EXPECT_FALSE(params->text_to_value(p, 0, bad, &value)) << bad;
  ASSERT_TRUE(params->text_to_value(p, 3, " 0.25 ", &value));
  EXPECT_EQ(value, 0.25);
}

// The same song through VelaOrin.so and VelaOrin.clap (MIDI, and notes as CLAP notes) gives the
// same bits at every rate and CLAP block size.
TEST_F(ClapTest, SameBitsAsVst2AtEveryRateAndBlockSize) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    const auto total = static_cast<uint32_t>(rate * 0.75);
    const std::vector<MidiAt> midi = song(total);
    const std::vector<float> reference = vst2Render(rate, midi, total);
    ASSERT_GT(*std::max_element(reference.begin(), reference.end()), 0.0f);
    for (bool clapNotes : {false, true}) {
      for (uint32_t block : {1u, 7u, 64u, 512u, 4096u}) {
        SCOPED_TRACE(testing::Message() << rate << " Hz, blocks of " << block
                                        << (clapNotes ? ", CLAP notes" : ", MIDI"));
        TestHost host;
        ClapInstance instance(builtClap(), host);
        ASSERT_TRUE(instance.start(rate, block));
        std::vector<float> right;
        const std::vector<float> left = instance.render(clapSong(midi, clapNotes), total, block, nullptr, &right);
        EXPECT_EQ(firstDifference(left, reference), -1);
        EXPECT_EQ(firstDifference(right, reference), -1);
      }
    }
  }
}

// Parameter values at their frames act there (before the notes of that frame, whatever the
// list's order): the VST 2 render cut at those frames with the values set between, at every
// block size. A null and a host's cookie are alike; another event space is not ours.
TEST_F(ClapTest, ParameterValuesAtTheirFramesEqualTheSplitVst2Render) {
  constexpr double kRate = 48000.0;
  constexpr uint32_t kTotal = 24000;
  const std::vector<MidiAt> midi = song(kTotal);
  const std::vector<ValueAt> changes = {
      {1000, 8, 0.9f}, {3000, 4, 0.7f},  {kTotal / 3, 11, 0.2f},  // at a note-on's frame
      {kTotal / 3, 0, 0.9f}, {9001, 2, 0.6f}, {15000, 10, 1.0f}, {23999, 7, 0.3f}};
  const std::vector<float> reference = vst2Render(kRate, midi, kTotal, changes);
  EXPECT_NE(firstDifference(reference, vst2Render(kRate, midi, kTotal)), -1) << "changes are heard";
  int cookie = 0;
  for (uint32_t block : {1u, 7u, 64u, 512u, 4096u}) {
    SCOPED_TRACE(block);
    EventList events = clapSong(midi, true);
    for (size_t i = 0; i < changes.size(); ++i) {
      events.value(changes[i].frame, static_cast<clap_id>(changes[i].index), changes[i].value,
                   i % 2 == 0 ? nullptr : &cookie);
      events.value(changes[i].frame, static_cast<clap_id>(changes[i].index), 0.123, nullptr, 0xb33f);
    }
    events.value(5, 14, 0.5);  // no such parameter
    events.sort();            // each value after the notes of its frame
    TestHost host;
    ClapInstance instance(builtClap(), host);
    ASSERT_TRUE(instance.start(kRate, block));
    EXPECT_EQ(firstDifference(instance.render(events, kTotal, block), reference), -1);
    EXPECT_EQ(instance.value(7), static_cast<double>(0.3f));
  }
}

// Modulation is heard as value + amount (limited to 0..1) from its frame until the next one, and
// leaves the value the host and the state see.
TEST_F(ClapTest, ModulationOffsetsWhatIsHeardNotTheValue) {
  constexpr uint32_t kTotal = 20000;
  const std::vector<MidiAt> midi = song(kTotal);
  EventList modulated = clapSong(midi, true), valued = clapSong(midi, true);
  modulated.modulation(2000, 8, 0.3).modulation(6000, 8, -2.0).modulation(12000, 8, 0.0);
  valued.value(2000, 8, 0.8).value(6000, 8, 0.0).value(12000, 8, 0.5);
  modulated.sort();
  valued.sort();
  TestHost host;
  ClapInstance a(builtClap(), host), b(builtClap(), host);
  ASSERT_TRUE(a.start(44100.0, 256));
  ASSERT_TRUE(b.start(44100.0, 256));
  const std::vector<float> heard = a.render(modulated, kTotal, 256);
  EXPECT_EQ(firstDifference(heard, b.render(valued, kTotal, 256)), -1);
  EXPECT_NE(firstDifference(heard, vst2Render(44100.0, midi, kTotal)), -1);
  EXPECT_EQ(a.value(8), 0.5);
  EventList hold;
  hold.modulation(0, 8, 0.25);
  std::vector<float> l(16), r(16);
  a.process(hold, 16, l.data(), r.data());
  EXPECT_EQ(a.value(8), 0.5);
  ClapInstance c(builtClap(), host);
  ASSERT_TRUE(c.load(a.save()));
  EXPECT_EQ(c.value(8), 0.5) << "the state holds the value, not what is heard";
}

// Every CLAP note-on comes back once as a note end with its address, at the frame its voice fell
// silent or was taken, in time order within the block; a choke gives exact zeros from its frame.
TEST_F(ClapTest, NotesComeBackAsNoteEnds) {
  constexpr uint32_t kTotal = 44100;
  EventList events;
  events.noteOn(0, 60, 0.8, 11, 3).noteOn(1000, 62, 0.0, 12, 4)  // velocity 0: still a note
      .noteOff(3000, -1, 12, -1)                                   // by id alone
      .noteOn(5000, 64, 1.0, 13).noteOn(5100, 65, 0.5, 14)          // 13 released by 14
      .noteOn(5200, 67, 0.5, 15)                                    // takes 13's slot
      .choke(9000, 65).choke(9000, 67)
      .noteOn(20000, 70, 0.7, 16).midi(30000, 0xB0, 123, 0);       // released by all notes off
  for (uint32_t block : {64u, 4096u}) {
    SCOPED_TRACE(block);
    TestHost host;
    ClapInstance instance(builtClap(), host);
    ASSERT_TRUE(instance.start(44100.0, block));
    OutputList out;
    const std::vector<float> left = instance.render(events, kTotal, block, &out);
    std::vector<int32_t> ids;
    uint32_t last = 0;
    for (const EventSlot& e : out.events) {
      ASSERT_EQ(e.header().type, CLAP_EVENT_NOTE_END);
      const auto& end = e.as<clap_event_note>();
      EXPECT_GE(end.header.time, last);
      last = end.header.time;
      ids.push_back(end.note_id);
      if (end.note_id == 11) {
        EXPECT_EQ(end.channel, 3);
      }
      if (end.note_id == 12) {
        EXPECT_EQ(end.channel, 4);
        EXPECT_EQ(end.key, 62);
        EXPECT_GT(end.header.time, 3000u);
      }
      if (end.note_id == 13) {
        EXPECT_EQ(end.header.time, 5200u) << "taken while releasing";
      }
      if (end.note_id == 15) {
        EXPECT_EQ(end.header.time, 9000u) << "choked";
      }
      if (end.note_id == 16) {
        EXPECT_GT(end.header.time, 30000u);
        EXPECT_LE(end.header.time, 30000u + 11025u) << "within a quarter second of its release";
      }
    }
    EXPECT_EQ(std::multiset<int32_t>(ids.begin(), ids.end()),
              (std::multiset<int32_t>{11, 12, 13, 14, 15, 16}));
    for (uint32_t i = 9000; i < 20000; ++i) ASSERT_EQ(bitsOf(left[i]), 0u) << i;
    // Note ends in one block lie inside it.
    OutputList blockOut;
    EventList one;
    one.noteOn(0, 60, 0.5, 1).choke(2, 60);
    std::vector<float> l(64), r(64);
    instance.process(one, 64, l.data(), r.data(), &blockOut);
    ASSERT_EQ(blockOut.events.size(), 1u);
    EXPECT_EQ(blockOut.events[0].header().time, 2u);
  }
}

// flush applies values on an instance that is not processing, active or not, as a block would.
TEST_F(ClapTest, FlushAppliesValuesWhenNotProcessing) {
  TestHost host;
  ClapInstance idle(builtClap(), host), reference(builtClap(), host);
  EventList values;
  values.value(0, 8, 0.25).value(0, 0, 0.75).value(0, 9, 0.5, nullptr, 0xb33f);
  idle.flush(values);
  EXPECT_EQ(idle.value(8), 0.25);
  EXPECT_EQ(idle.value(0), 0.75);
  EXPECT_EQ(idle.value(9), 0.0);
  ASSERT_TRUE(idle.start(48000.0, 512));
  ASSERT_TRUE(reference.start(48000.0, 512));
  const std::vector<MidiAt> midi = song(9600);
  EventList first = clapSong(midi, true);
  first.value(0, 8, 0.25).value(0, 0, 0.75);
  first.sort();
  EXPECT_EQ(firstDifference(idle.render(clapSong(midi, true), 9600, 512), reference.render(first, 9600, 512)), -1);

  idle.plugin()->stop_processing(idle.plugin());
  EventList more;
  more.value(0, 4, 1.0);
  idle.flush(more);
  EXPECT_EQ(idle.value(4), 1.0);
}

// The whole bank in its checked form: a saved state plays the same in a new instance; saving is
// repeatable; anything else is refused with nothing changed and no rescan.
TEST_F(ClapTest, StateRoundTripAndRefusals) {
  TestHost host;
  ClapInstance a(builtClap(), host);
  EventList values;
  values.value(0, 8, 0.3).value(0, 1, 0.1).value(0, 10, 1.0);
  a.flush(values);
  const std::vector<uint8_t> saved = a.save(23);
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(a.save(1000), saved) << "saving twice gives the same bytes";

  TestHost otherHost;
  ClapInstance b(builtClap(), otherHost);
  ASSERT_TRUE(b.load(saved, 17));
  EXPECT_EQ(otherHost.rescans, std::vector<uint32_t>{CLAP_PARAM_RESCAN_VALUES});
  for (clap_id id = 0; id < 14; ++id) EXPECT_EQ(b.value(id), a.value(id)) << id;
  EXPECT_EQ(b.save(), saved);
  ASSERT_TRUE(a.start(44100.0, 128));
  ASSERT_TRUE(b.start(44100.0, 128));
  const EventList notes = clapSong(song(8000), true);
  EXPECT_EQ(firstDifference(a.render(notes, 8000, 128), b.render(notes, 8000, 128)), -1);
  ASSERT_TRUE(b.load(saved));
  EXPECT_EQ(otherHost.rescans.size(), 1u) << "a load that changes nothing asks no rescan";

  std::vector<uint8_t> foreign = saved, longer = saved, flipped = saved;
  foreign[8] = 'X';  // another plug-in's identifier
  longer.push_back(0);
  flipped[55] ^= 0x40;  // the first value's top byte: beyond 0..1
  std::mt19937 random(21);
  std::vector<uint8_t> noise(1 << 20);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> refused = {
      {"empty", {}},
      {"another plug-in's", foreign},
      {"truncated", std::vector<uint8_t>(saved.begin(), saved.end() - 1)},
      {"one byte more", longer},
      {"damaged", flipped},
      {"random", noise}};
  ClapInstance c(builtClap(), otherHost);
  const std::vector<uint8_t> before = c.save();
  otherHost.rescans.clear();
  for (const auto& [what, bytes] : refused) {
    EXPECT_FALSE(c.load(bytes)) << what;
    EXPECT_EQ(c.save(), before) << what;
  }
  EXPECT_TRUE(otherHost.rescans.empty());
}

// The tuning follows the bank in the state: a state without one has the bank's bytes alone, as
// before tunings; a state with one plays it in another instance without the files (the same
// bits as VelaOrin.so given the tuning), an unmapped key's note ends at once, and a state saved
// before tunings plays the instrument's own table again. A tuning refused changes nothing.
TEST_F(ClapTest, TheStateCarriesTheTuning) {
  TestHost host;
  ClapInstance a(builtClap(), host);
  const std::vector<uint8_t> plain = a.save();
  ASSERT_EQ(plain.size(), 16u + 12u + 32u * (24u + 4u * 14u)) << "the bank's form alone";
  std::string scale = "! 19edo.scl\n19-tone equal\n19\n";
  for (int k = 1; k <= 19; ++k) scale += std::to_string(1200.0 * k / 19) + "\n";
  // Key 64 (E) does not sound.
  const TuningFiles files{ScalaText{"19edo.scl", scale},
                          ScalaText{"no-e.kbm", "12\n0\n127\n60\n60\n261.6256\n19\n0\n1\n2\n3\nx\n"
                                                "5\n6\n7\n8\n9\n10\n11\n"}};
  std::vector<uint8_t> tuned = plain;
  const std::vector<uint8_t> tuningBytes = encodeTuning(files);
  tuned.insert(tuned.end(), tuningBytes.begin(), tuningBytes.end());
  ASSERT_TRUE(a.load(tuned));
  EXPECT_EQ(a.save(), tuned);

  TestHost otherHost;
  ClapInstance b(builtClap(), otherHost);
  ASSERT_TRUE(b.load(a.save()));
  ASSERT_TRUE(b.start(44100.0, 256));
  const std::vector<MidiAt> midi = song(30000);
  OutputList out;
  const std::vector<float> heard = b.render(clapSong(midi, true), 30000, 256, &out);
  EXPECT_EQ(firstDifference(heard, vst2Render(44100.0, midi, 30000, {}, tuningBytes)), -1);
  EXPECT_NE(firstDifference(heard, vst2Render(44100.0, midi, 30000)), -1);
  bool unmappedEnded = false;
  for (const EventSlot& e : out.events)
    if (e.as<clap_event_note>().key == 64) {
      EXPECT_EQ(e.header().time, 30000u / 8) << "at its note-on";
      unmappedEnded = true;
    }
  EXPECT_TRUE(unmappedEnded);
  b.stop();

  std::vector<uint8_t> refusedScale = plain;
  const std::vector<uint8_t> badBytes =
      encodeTuning({ScalaText{"bad.scl", "d\n2\n100.0\n"}, std::nullopt});
  refusedScale.insert(refusedScale.end(), badBytes.begin(), badBytes.end());
  std::vector<uint8_t> cut(tuned.begin(), tuned.end() - 1);
  for (const std::vector<uint8_t>& refused : {refusedScale, cut}) {
    EXPECT_FALSE(b.load(refused));
    EXPECT_EQ(b.save(), tuned);
  }
  ASSERT_TRUE(b.load(plain));
  EXPECT_EQ(b.save(), plain);
  ASSERT_TRUE(b.start(44100.0, 256));
  EXPECT_EQ(firstDifference(b.render(clapSong(midi, true), 30000, 256), vst2Render(44100.0, midi, 30000)), -1);
}

// The factory library through preset discovery, as a host's indexer and a preset-load would use
// it: the installed program files when they are beside the plug-in, else presets inside it.
struct Indexed {
  std::vector<std::pair<uint32_t, std::string>> locations;  // kind, location
  std::vector<std::string> extensions;
  std::vector<std::string> names, keys, errors;
  int pluginIds = 0;
};

Indexed crawl(ClapModule& module) {
  Indexed found;
  const auto* factory = static_cast<const clap_preset_discovery_factory*>(
      module.entry()->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
  if (factory == nullptr || factory->count(factory) != 1) return found;
  const clap_preset_discovery_provider_descriptor* d = factory->get_descriptor(factory, 0);
  clap_preset_discovery_indexer indexer{};
  indexer.clap_version = CLAP_VERSION;
  indexer.name = "test indexer";
  indexer.indexer_data = &found;
  indexer.declare_filetype = [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_filetype* f) {
    static_cast<Indexed*>(i->indexer_data)->extensions.push_back(f->file_extension);
    return true;
  };
  indexer.declare_location = [](const clap_preset_discovery_indexer* i, const clap_preset_discovery_location* l) {
    static_cast<Indexed*>(i->indexer_data)->locations.push_back({l->kind, l->location != nullptr ? l->location : ""});
    return l->kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || l->location == nullptr;
  };
  indexer.declare_soundpack = [](const clap_preset_discovery_indexer*, const clap_preset_discovery_soundpack*) { return false; };
  indexer.get_extension = [](const clap_preset_discovery_indexer*, const char*) -> const void* { return nullptr; };
  const clap_preset_discovery_provider* provider = factory->create(factory, &indexer, d->id);
  if (provider == nullptr || !provider->init(provider)) return found;
  EXPECT_EQ(factory->create(factory, &indexer, "velaorin.VelaOrin.presetsX"), nullptr);

  clap_preset_discovery_metadata_receiver receiver{};
  receiver.receiver_data = &found;
  receiver.on_error = [](const clap_preset_discovery_metadata_receiver* r, int32_t, const char* m) {
    static_cast<Indexed*>(r->receiver_data)->errors.push_back(m);
  };
  receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver* r, const char* name, const char* key) {
    auto* f = static_cast<Indexed*>(r->receiver_data);
    f->names.push_back(name != nullptr ? name : "");
    f->keys.push_back(key != nullptr ? key : "");
    return true;
  };
  receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver* r, const clap_universal_plugin_id* id) {
    if (std::string(id->abi) == "clap" && std::string(id->id) == kId)
      ++static_cast<Indexed*>(r->receiver_data)->pluginIds;
  };
  receiver.add_feature = [](const clap_preset_discovery_metadata_receiver*, const char* feature) {
    EXPECT_TRUE(feature != nullptr && feature[0] != '\0');
  };
  const Indexed declared = found;
  for (const auto& [kind, location] : declared.locations) {
    if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
      EXPECT_TRUE(provider->get_metadata(provider, kind, nullptr, &receiver));
      continue;
    }
    std::vector<std::string> files;  // the host crawls the folder for the declared extension
    for (const auto& file : std::filesystem::directory_iterator(location))
      if (file.path().extension() == ".fxp") files.push_back(file.path().string());
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
      EXPECT_TRUE(provider->get_metadata(provider, kind, file.c_str(), &receiver));
      found.keys.back() = file;  // what preset-load gets back for a file
    }
  }
  provider->destroy(provider);
  return found;
}

void loadsEveryPreset(ClapModule& module, const Indexed& found, uint32_t kind) {
  TestHost host;
  ClapInstance instance(module, host);
  for (const char* id : {CLAP_EXT_PRESET_LOAD, CLAP_EXT_PRESET_LOAD_COMPAT}) {
    const auto* load = instance.extension<clap_plugin_preset_load>(id);
    ASSERT_NE(load, nullptr) << id;
  }
  const auto* load = instance.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
  for (size_t n = 0; n < found.keys.size(); ++n) {
    SCOPED_TRACE(found.names[n]);
    const bool file = kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE;
    ASSERT_TRUE(load->from_location(instance.plugin(), kind, file ? found.keys[n].c_str() : nullptr,
                                    file ? nullptr : found.keys[n].c_str()));
    for (clap_id id = 0; id < 14; ++id)
      EXPECT_EQ(instance.value(id), static_cast<double>(kFactorySounds[n].values[id])) << id;
  }
  EXPECT_EQ(host.presetsLoaded.size(), found.keys.size());
  EXPECT_FALSE(host.rescans.empty());
  EXPECT_TRUE(host.presetErrors.empty());

  // Not ours: refused, the host told why, nothing changed.
  const std::vector<uint8_t> before = instance.save();
  const std::string bogus = (std::filesystem::temp_directory_path() / "velaorin-not-a-preset.fxp").string();
  if (std::FILE* f = std::fopen(bogus.c_str(), "wb")) {
    std::fputs("CcnK but not a program of ours", f);
    std::fclose(f);
  }
  EXPECT_FALSE(load->from_location(instance.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_FILE, bogus.c_str(), nullptr));
  EXPECT_FALSE(load->from_location(instance.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "factory/32"));
  EXPECT_FALSE(load->from_location(instance.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "factory/3"));
  EXPECT_EQ(host.presetErrors.size(), 3u);
  EXPECT_EQ(instance.save(), before);
  std::filesystem::remove(bogus);
}

TEST_F(ClapTest, FactoryPresetsAreDiscoveredAndLoad) {
  const Indexed found = crawl(builtClap());
  ASSERT_EQ(found.locations.size(), 1u);
  const uint32_t kind = found.locations[0].first;
  EXPECT_EQ(kind, VELA_EXPECT_PRESET_FILES ? CLAP_PRESET_DISCOVERY_LOCATION_FILE
                                           : CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
  EXPECT_EQ(found.extensions, kind == CLAP_PRESET_DISCOVERY_LOCATION_FILE
                                  ? std::vector<std::string>{"fxp"}
                                  : std::vector<std::string>{});
  ASSERT_EQ(found.names.size(), static_cast<size_t>(kFactorySoundCount));
  for (int32_t n = 0; n < kFactorySoundCount; ++n) EXPECT_STREQ(found.names[n].c_str(), kFactorySounds[n].name);
  EXPECT_EQ(found.pluginIds, kFactorySoundCount);
  EXPECT_TRUE(found.errors.empty());
  loadsEveryPreset(builtClap(), found, kind);
}

// A copy of the plug-in away from any installed files lists the sounds inside itself.
TEST_F(ClapTest, WithoutTheProgramFilesThePresetsAreInsideThePlugin) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velaorin-clap-alone";
  std::filesystem::create_directories(folder);
  const std::filesystem::path copy = folder / "VelaOrin.clap";
  std::filesystem::copy_file(builtClap().path(), copy, std::filesystem::copy_options::overwrite_existing);
  {
    ClapModule alone(copy.string());
    ASSERT_TRUE(alone.loaded()) << alone.error();
    const Indexed found = crawl(alone);
    ASSERT_EQ(found.locations.size(), 1u);
    EXPECT_EQ(found.locations[0].first, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
    ASSERT_EQ(found.names.size(), static_cast<size_t>(kFactorySoundCount));
    std::set<std::string> keys(found.keys.begin(), found.keys.end());
    EXPECT_EQ(keys.size(), found.keys.size()) << "unique load keys";
    EXPECT_EQ(found.keys.front(), "factory/00");
    loadsEveryPreset(alone, found, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
