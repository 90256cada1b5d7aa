// The plug-in driven as a multi-threaded host drives it: one thread delivers MIDI and renders,
// others edit parameters and programs, read displays and idle the editor; VelaOrin.clap's
// instance with panel edits and state loads on the main thread while the audio thread processes;
// VelaOrin.vst3 with its state saved and restored while it processes. The linux-tsan preset
// runs these under ThreadSanitizer; every build checks what the threads can observe.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "ClapPlugin.h"
#include "ClapTestHost.h"
#include "DAEffectX.h"
#include "MidiList.h"
#include "PluginLoader.h"
#include "ProgramBank.h"
#include "TestRandom.h"
#include "VelaVst3.h"
#include "Vst3TestHost.h"

namespace {

// Thread-safe host: answers the version, ignores the rest.
intptr_t VELA_CDECL quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* openPlugin() {
  if (!builtPlugin().loaded()) return nullptr;
  PluginEntry entry = builtPlugin().entry("main");
  AEffect* effect = entry != nullptr ? entry(&quietHost) : nullptr;
  if (effect == nullptr) return nullptr;
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  dispatch(effect, effSetBlockSize, 0, 512);
  dispatch(effect, effMainsChanged, 0, 1);
  return effect;
}

constexpr int32_t kParams = 14;
constexpr int32_t kPrograms = 32;

// Every stored value carries a tag: program p's own value of parameter i lies below 0.5, an
// edit's value at or above it and names the edit exactly (0.5 + n * 2^-24 is exact up to n < 2^23).
float ownTag(int32_t program, int32_t index) {
  return static_cast<float>(program * kParams + index + 1) / 1024.0f;
}
float editTag(uint32_t n) { return 0.5f + static_cast<float>(n) * 0x1p-24f; }

// Renders blocks with notes and bends until `stop`; false if any sample was not finite.
bool renderUntil(AEffect* effect, const std::atomic<bool>& stop, std::atomic<int>& blocks) {
  std::vector<float> left(512), right(512);
  float* outputs[2] = {left.data(), right.data()};
  Random rnd{99};
  bool finite = true;
  while (!stop.load()) {
    const int32_t frames = 1 + rnd.below(512);
    MidiList midi;
    midi.noteOn(rnd.below(frames), 36 + rnd.below(48), 1 + rnd.below(127));
    if (rnd.below(2) == 0) midi.add(rnd.below(frames), 0xE0, 0, rnd.below(128));
    if (rnd.below(3) == 0) midi.noteOff(rnd.below(frames), 36 + rnd.below(48));
    dispatch(effect, effProcessEvents, 0, 0, midi.list());
    if (rnd.below(2) == 0)
      effect->processReplacing(effect, nullptr, outputs, frames);
    else
      effect->process(effect, nullptr, outputs, frames);
    for (int32_t i = 0; i < frames; ++i) finite = finite && std::isfinite(left[static_cast<size_t>(i)]);
    blocks.fetch_add(1);
  }
  return finite;
}

TEST(Concurrency, EditsWhileRenderingLandInExactlyOneProgram) {
  AEffect* effect = openPlugin();
  ASSERT_NE(effect, nullptr) << builtPlugin().error();
  for (int32_t p = 0; p < kPrograms; ++p) {
    dispatch(effect, effSetProgram, 0, p);
    for (int32_t i = 0; i < kParams; ++i) effect->setParameter(effect, i, ownTag(p, i));
  }
  dispatch(effect, effSetProgram, 0, 0);

  constexpr uint32_t kEdits = 60000;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0}, ready{0};
  // Every thread starts once all are running, so their calls overlap.
  auto startTogether = [&ready] {
    ready.fetch_add(1);
    while (ready.load() < 5) std::this_thread::yield();
  };
  bool finite = true;
  std::thread audio([&] {
    startTogether();
    finite = renderUntil(effect, stop, blocks);
  });
  // Two editing threads with parameters of their own; edit n of thread t has tag 2n + t.
  float lastEdit[kParams] = {};
  std::vector<std::thread> editors;
  for (uint32_t t = 0; t < 2; ++t) {
    editors.emplace_back([&, t] {
      startTogether();
      for (uint32_t n = 0; n < kEdits; ++n) {
        const auto index = static_cast<int32_t>(t * 7 + n % 7);
        const float value = editTag(2 * n + t);
        effect->setParameter(effect, index, value);
        lastEdit[index] = value;
      }
    });
  }
  // Two program threads, one also reading displays, the other idling the editor.
  for (uint64_t t = 0; t < 2; ++t) {
    editors.emplace_back([&, t] {
      startTogether();
      Random rnd{t + 5};
      char text[64];
      for (uint32_t n = 0; n < kEdits; ++n) {
        dispatch(effect, effSetProgram, 0, rnd.below(kPrograms));
        if (t == 0) {
          dispatch(effect, effGetParamDisplay, rnd.below(kParams), 0, text);
          (void)effect->getParameter(effect, rnd.below(kParams));
        } else {
          dispatch(effect, effEditIdle);
          dispatch(effect, effGetProgramNameIndexed, rnd.below(kPrograms), 0, text);
        }
      }
    });
  }
  // Five threads with the audio one: the start waits for all of them.
  for (std::thread& editor : editors) editor.join();
  stop.store(true);
  audio.join();
  EXPECT_TRUE(finite);
  EXPECT_GT(blocks.load(), 0);

  // Each program holds, per parameter, its own value or edits; an edit is in one program at most,
  // and each thread's last edit of a parameter (nobody wrote that parameter after it) in one.
  std::map<uint32_t, int> programsHolding[kParams];
  for (int32_t p = 0; p < kPrograms; ++p) {
    dispatch(effect, effSetProgram, 0, p);
    for (int32_t i = 0; i < kParams; ++i) {
      const float value = effect->getParameter(effect, i);
      if (value >= 0.5f) {
        ++programsHolding[i][static_cast<uint32_t>((value - 0.5f) * 0x1p24f)];
      } else if (value != ownTag(p, i)) {
        ADD_FAILURE() << "program " << p << " parameter " << i << " holds " << value
                      << ", which is program " << (std::lround(value * 1024.0f) - 1 - i) / kParams
                      << "'s";
      }
    }
  }
  for (int32_t i = 0; i < kParams; ++i) {
    for (const auto& [tag, count] : programsHolding[i])
      EXPECT_EQ(count, 1) << "edit " << tag << " of parameter " << i << " is in " << count
                          << " programs";
    const auto last = static_cast<uint32_t>((lastEdit[i] - 0.5f) * 0x1p24f);
    EXPECT_EQ(programsHolding[i].count(last), 1u) << "last edit of parameter " << i << " lost";
  }
  dispatch(effect, effClose);
}

// A block renders one fresh note after "all sound off", so its output depends only on the
// program in force; with another thread switching programs, every block must equal the
// single-threaded render of one of the two programs.
TEST(Concurrency, EveryBlockHearsOneWholeProgram) {
  constexpr int32_t kFrames = 256;
  // Two programs differing in every parameter (both keep the note audible from its first samples).
  const float programs[2][kParams] = {
      {0.3f, 0.7f, 0.4f, 0.2f, 0.0f, 0.2f, 0.6f, 0.1f, 0.6f, 0.3f, 0.0f, 0.4f, 1.0f, 1.0f},
      {0.6f, 0.2f, 0.7f, 0.5f, 0.05f, 0.3f, 0.8f, 0.3f, 0.9f, 0.7f, 0.5f, 0.9f, 0.0f, 0.0f}};
  auto setUp = [&](AEffect* effect) {
    for (int32_t p = 0; p < 2; ++p) {
      dispatch(effect, effSetProgram, 0, p + 2);
      for (int32_t i = 0; i < kParams; ++i) effect->setParameter(effect, i, programs[p][i]);
    }
  };
  auto renderBlock = [&](AEffect* effect, std::vector<float>& out) {
    MidiList midi;
    midi.add(0, 0xB0, 126, 0).noteOn(0, 57, 100);
    dispatch(effect, effProcessEvents, 0, 0, midi.list());
    std::vector<float> right(out.size());
    float* outputs[2] = {out.data(), right.data()};
    effect->processReplacing(effect, nullptr, outputs, kFrames);
  };
  std::vector<float> reference[2];
  for (int32_t p = 0; p < 2; ++p) {
    AEffect* effect = openPlugin();
    ASSERT_NE(effect, nullptr) << builtPlugin().error();
    setUp(effect);
    dispatch(effect, effSetProgram, 0, p + 2);
    reference[p].assign(kFrames, 0.0f);
    renderBlock(effect, reference[p]);
    dispatch(effect, effClose);
  }
  ASSERT_NE(reference[0], reference[1]);

  AEffect* effect = openPlugin();
  ASSERT_NE(effect, nullptr);
  setUp(effect);
  std::atomic<bool> stop{false};
  std::thread switcher([&] {
    for (int32_t n = 0; !stop.load(); ++n) dispatch(effect, effSetProgram, 0, 2 + (n & 1));
  });
  int heard[3] = {};  // program 2, program 3, neither
  std::vector<float> out(kFrames);
  for (int block = 0; block < 200000; ++block) {
    renderBlock(effect, out);
    ++heard[out == reference[0] ? 0 : (out == reference[1] ? 1 : 2)];
    if (block >= 3000 && heard[0] >= 100 && heard[1] >= 100) break;
  }
  stop.store(true);
  switcher.join();
  EXPECT_EQ(heard[2], 0) << "blocks that mixed two programs (of " << heard[0] + heard[1] + heard[2]
                         << ")";
  EXPECT_GE(heard[0], 100);
  EXPECT_GE(heard[1], 100);
  dispatch(effect, effClose);
}

// VelaOrin.clap: the main thread makes panel gestures and loads and saves states (some with a
// tuning) while the audio thread processes notes and parameter events; every panel edit reaches
// the host once, whole.
TEST(Concurrency, ClapPanelEditsAndStateLoadsWhileProcessing) {
  TestHost host;
  velaclap::ClapPlugin plugin(host.host());
  ASSERT_TRUE(plugin.init());
  ASSERT_TRUE(plugin.activate(44100.0, 1, 512));
  const std::vector<uint8_t> plain = [&] {
    ByteStream stream;
    const clap_ostream out = stream.out();
    EXPECT_TRUE(plugin.save(&out));
    return stream.bytes;
  }();
  // The same with a tuning after the bank: its table goes to the audio thread without locks.
  std::vector<uint8_t> tuned = plain;
  const std::vector<uint8_t> tuning =
      encodeTuning({ScalaText{"q.scl", "quarter tones\n1\n50.0\n"}, std::nullopt});
  tuned.insert(tuned.end(), tuning.begin(), tuning.end());
  ASSERT_TRUE(plugin.startProcessing());
  std::atomic<bool> stop{false};
  std::atomic<int> values{0}, begins{0}, ends{0};
  std::atomic<bool> finite{true};
  std::thread audio([&] {
    Random rnd{7};
    std::vector<float> left(512), right(512);
    float* channels[2] = {left.data(), right.data()};
    OutputList out;
    for (int32_t n = 0; !stop.load(); ++n) {
      const auto frames = static_cast<uint32_t>(1 + rnd.below(512));
      EventList events;
      events.noteOn(0, static_cast<int16_t>(36 + rnd.below(48)), 0.8, n);
      events.value(static_cast<uint32_t>(rnd.below(static_cast<int32_t>(frames))), static_cast<clap_id>(rnd.below(14)), 0.25);
      events.modulation(0, 8, 0.1);
      events.sort();
      clap_audio_buffer output{};
      output.data32 = channels;
      output.channel_count = 2;
      clap_process process{};
      process.steady_time = -1;
      process.frames_count = frames;
      process.audio_outputs = &output;
      process.audio_outputs_count = 1;
      process.in_events = events.list();
      process.out_events = out.list();
      plugin.process(&process);
      for (uint32_t i = 0; i < frames; ++i) finite = finite && std::isfinite(left[i]);
      for (const EventSlot& e : out.events) {
        const uint16_t type = e.header().type;
        if (type == CLAP_EVENT_PARAM_VALUE) ++values;
        if (type == CLAP_EVENT_PARAM_GESTURE_BEGIN) ++begins;
        if (type == CLAP_EVENT_PARAM_GESTURE_END) ++ends;
      }
      out.events.clear();
    }
  });
  ParameterLink& link = plugin.panelLink();
  constexpr int kEdits = 3000;
  for (int n = 0; n < kEdits; ++n) {
    const int32_t index = n % 14;
    link.beginEdit(index);
    link.automate(index, static_cast<float>(n % 100) / 100.0f);
    link.endEdit(index);
    if (n % 50 == 0) {
      ByteStream stream;
      const clap_ostream out = stream.out();
      ASSERT_TRUE(plugin.save(&out));
      ByteStream back;
      back.bytes = n % 150 == 0 ? plain : n % 150 == 50 ? tuned : stream.bytes;
      const clap_istream in = back.in();
      ASSERT_TRUE(plugin.load(&in));
    }
    // The queue to the host holds a thousand edits: keep within it, waiting on the audio thread.
    for (int wait = 0; n - values.load() > 300 && wait < 100000; ++wait) std::this_thread::yield();
  }
  for (int wait = 0; values.load() < kEdits && wait < 1000000; ++wait) std::this_thread::yield();
  stop.store(true);
  audio.join();
  plugin.stopProcessing();
  plugin.deactivate();
  EXPECT_TRUE(finite.load());
  EXPECT_EQ(values.load(), kEdits);
  EXPECT_EQ(begins.load(), kEdits);
  EXPECT_EQ(ends.load(), kEdits);
}

// VST 3 hosts save and restore the component's state on their UI thread while the audio thread
// processes notes, parameter points and program changes: every state read back is a whole,
// valid bank, the one just restored in all but the program and values the audio thread changed.
TEST(Concurrency, Vst3StateMovesWhileProcessing) {
  vst3host::Synth synth(44100.0, 512);
  ASSERT_TRUE(synth.ok()) << synth.error();
  BankImage images[2] = {ProgramBank().bankImage(), ProgramBank().bankImage()};
  for (int32_t p = 0; p < kPrograms; ++p)
    for (int32_t i = 0; i < kParams; ++i) images[1].programs[p].values[i] = ownTag(p, i);
  images[1].currentProgram = 7;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  bool finite = true;
  std::thread audio([&] {
    std::vector<float> left(512), right(512);
    Random rnd{3};
    while (!stop.load()) {
      const int32_t frames = 1 + rnd.below(512);
      synth.events().noteOn(rnd.below(frames), static_cast<int16_t>(36 + rnd.below(48)), 0.8f);
      if (rnd.below(3) == 0) synth.events().noteOff(rnd.below(frames), static_cast<int16_t>(36 + rnd.below(48)));
      synth.parameters().add(velavst3::kPitchBendId, rnd.below(frames), rnd.unit());
      // Only parameter 13 and the program move here: the other values are the restored ones.
      synth.parameters().add(13, rnd.below(frames), rnd.unit());
      if (rnd.below(20) == 0) synth.parameters().add(velavst3::kProgramId, 0, rnd.below(kPrograms) / 31.0);
      synth.render(left.data(), right.data(), frames);
      for (int32_t i = 0; i < frames; ++i) finite = finite && std::isfinite(left[static_cast<size_t>(i)]);
      blocks.fetch_add(1);
    }
  });
  int wrong = 0;
  for (int n = 0; n < 4000 || blocks.load() < 100; ++n) {
    const BankImage& sent = images[n % 2];
    ASSERT_EQ(synth.setComponentState(encodeBank(sent)), vst3::kResultOk);
    const std::vector<uint8_t> bytes = synth.componentState();
    BankImage read{};
    ASSERT_TRUE(decodeBank(bytes.data(), bytes.size(), read));
    for (int32_t p = 0; p < kPrograms; ++p)
      for (int32_t i = 0; i < kParams - 1; ++i)
        wrong += read.programs[p].values[i] != sent.programs[p].values[i] ? 1 : 0;
    (void)synth.controller()->getParamNormalized(static_cast<vst3::ParamID>(n % kParams));
  }
  stop.store(true);
  audio.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(finite);
}

}  // namespace
