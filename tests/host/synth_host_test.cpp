// VelaOrin as a host sees it: loaded through its entry point, driven only through the record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "DAEffectX.h"
#include "PluginLoader.h"
#include "RecordingHost.h"

namespace {

class SynthHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
    entry = builtPlugin().entry("main");
    ASSERT_NE(entry, nullptr);
    RecordingHost::instance().reset();
    effect = entry(&RecordingHost::callback);
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect != nullptr) dispatch(effect, effClose);
  }

  std::string text(int32_t opcode, int32_t index = 0, intptr_t value = 0, size_t size = 64) {
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    dispatch(effect, opcode, index, value, buffer);
    // Nothing may be written past the size hosts give.
    for (size_t i = size; i < sizeof buffer; ++i)
      if (buffer[i] != '#') ADD_FAILURE() << "wrote past byte " << size << " for opcode " << opcode;
    return std::string(buffer, strnlen(buffer, size));
  }

  PluginEntry entry = nullptr;
  AEffect* effect = nullptr;
};

TEST_F(SynthHost, EntryPointsAgree) {
  PluginEntry modern = builtPlugin().entry("VSTPluginMain");
#if defined(_WIN32) && !defined(_WIN64)
  EXPECT_EQ(modern, nullptr);
#else
  ASSERT_NE(modern, nullptr);
  AEffect* other = modern(&RecordingHost::callback);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->uniqueID, effect->uniqueID);
  dispatch(other, effClose);
#endif
}

TEST_F(SynthHost, MainAsksForTheVersionOnceBeforeCreating) {
  RecordingHost& host = RecordingHost::instance();
  ASSERT_FALSE(host.calls.empty());
  const HostCall& first = host.calls[0];
  EXPECT_EQ(first.effect, nullptr);
  EXPECT_EQ(first.opcode, audioMasterVersion);
  EXPECT_EQ(first.index, 0);
  EXPECT_EQ(first.value, 0);
  EXPECT_EQ(first.ptr, nullptr);
  EXPECT_EQ(first.opt, 0.0f);
  EXPECT_EQ(host.calls.size(), 1u) << "construction sends nothing else";

  for (intptr_t version : {1, 2, 2400, -1}) {
    host.reset(version);
    AEffect* another = entry(&RecordingHost::callback);
    ASSERT_NE(another, nullptr) << version;
    EXPECT_EQ(another->magic, kEffectMagic);
    dispatch(another, effClose);
  }
  host.reset(0);
  EXPECT_EQ(entry(&RecordingHost::callback), nullptr);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
  EXPECT_EQ(entry(nullptr), nullptr) << "no callback, no instance";
}

TEST_F(SynthHost, RecordDescribesAStereoSynth) {
  EXPECT_EQ(effect->magic, 0x56737450);
  EXPECT_EQ(effect->numPrograms, 32);
  EXPECT_EQ(effect->numParams, 14);
  EXPECT_EQ(effect->numInputs, 0);
  EXPECT_EQ(effect->numOutputs, 2);
  EXPECT_EQ(effect->uniqueID, 0x56656C56);  // "VelV"
  EXPECT_EQ(effect->version, 1);
  EXPECT_EQ(effect->ioRatio, 1.0f);
  const int32_t expectedFlags = effFlagsCanReplacing | effFlagsIsSynth | effFlagsHasEditor;
  EXPECT_EQ(effect->flags, expectedFlags);
  EXPECT_NE(effect->processReplacing, nullptr);
}

TEST_F(SynthHost, IdentityAnswers) {
  EXPECT_EQ(text(effGetEffectName, 0, 0, 32), "VelaOrin");
  EXPECT_EQ(dispatch(effect, effGetEffectName, 0, 0, std::string(32, 'x').data()), 1);
  EXPECT_EQ(text(effGetVendorString, 0, 0, 64), "Dravnik");
  EXPECT_EQ(text(effGetProductString, 0, 0, 64), "Vela First Synth");
  EXPECT_EQ(dispatch(effect, effGetVendorVersion), 1);
  EXPECT_EQ(dispatch(effect, effGetVstVersion), 2200);
  EXPECT_EQ(dispatch(effect, effGetPlugCategory), kPlugCategSynth);
  EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566);
  EXPECT_EQ(dispatch(effect, effGetProgram), 0);
  EXPECT_EQ(dispatch(effect, effGetVu), 0);
}

TEST_F(SynthHost, CanDoIsExactAndCaseSensitive) {
  struct Row {
    const char* text;
    intptr_t answer;
  };
  const Row rows[] = {{"receiveVstEvents", 1},   {"receiveVstMidiEvent", 1},
                      {"receivevstevents", -1},  {"receiveVstEvents ", -1},
                      {"receiveVstMidiEvents", -1}, {"sendVstEvents", -1}, {"", -1}};
  for (const Row& row : rows) {
    std::string copy = row.text;
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, copy.data()), row.answer) << '"' << row.text << '"';
  }
}

TEST_F(SynthHost, ParameterNamesLabelsAndDisplays) {
  struct Row {
    const char* name;
    const char* display;
  };
  const Row rows[14] = {{"Mod1", "0.50"}, {"Mod2", "0.50"},   {"FB1", "0.00"},  {"FB2", "0.00"},
                        {"A", "0.10"},    {"D", "0.10"},      {"S", "0.50"},    {"R", "0.10"},
                        {"CutOff", "0.50"}, {"Q", "0.00"},    {"Type", "0.00"}, {"Env", "0.50"},
                        {"M1S", "1.00"},  {"M2S", "1.00"}};
  for (int32_t i = 0; i < 14; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(text(effGetParamName, i, 0, 8), rows[i].name);
    EXPECT_EQ(text(effGetParamLabel, i, 0, 8), "/1");
    EXPECT_EQ(text(effGetParamDisplay, i, 0, 8), rows[i].display);
    EXPECT_EQ(dispatch(effect, effGetParamDisplay, i, 0, std::string(8, 'x').data()), 0);
  }
  for (int32_t outside : {14, 99, -1}) {
    SCOPED_TRACE(outside);
    EXPECT_EQ(text(effGetParamName, outside, 0, 8), "");
    EXPECT_EQ(text(effGetParamDisplay, outside, 0, 8), "");
    EXPECT_EQ(text(effGetParamLabel, outside, 0, 8), "/1");
    EXPECT_EQ(effect->getParameter(effect, outside), 0.0f);
  }
}

TEST_F(SynthHost, ParametersStoreAsGivenAndDisplayWithinEightBytes) {
  effect->setParameter(effect, 0, 0.3f);
  EXPECT_EQ(effect->getParameter(effect, 0), 0.3f);
  EXPECT_EQ(text(effGetParamDisplay, 0, 0, 8), "0.30");
  effect->setParameter(effect, 0, 0.125f);
  EXPECT_EQ(text(effGetParamDisplay, 0, 0, 8), "0.13");
  // A value far outside 0..1 keeps its stored bits; its text is cut to fit the host's buffer.
  effect->setParameter(effect, 8, 123456789.0f);
  EXPECT_EQ(effect->getParameter(effect, 8), 123456789.0f);
  EXPECT_EQ(text(effGetParamDisplay, 8, 0, 8), "1234567");
  effect->setParameter(effect, 9, NAN);
  EXPECT_TRUE(std::isnan(effect->getParameter(effect, 9)));
  EXPECT_EQ(text(effGetParamDisplay, 9, 0, 8), "NAN");
  effect->setParameter(effect, 14, 0.7f);  // nothing stored
  for (int32_t i = 0; i < 14; ++i) EXPECT_NE(effect->getParameter(effect, i), 0.7f) << i;
}

TEST_F(SynthHost, ProgramsListSelectAndBounds) {
  EXPECT_EQ(text(effGetProgramNameIndexed, 0, 0, 24), "init1");
  EXPECT_EQ(text(effGetProgramNameIndexed, 1, 7, 24), "Eth Drm");  // category ignored
  EXPECT_EQ(text(effGetProgramNameIndexed, 31, 0, 24), "init32");
  EXPECT_EQ(text(effGetProgramName, 0, 0, 24), "init1");
  char untouched[24] = "keep";
  EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 32, 0, untouched), 0);
  EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, -1, 0, untouched), 0);
  EXPECT_STREQ(untouched, "keep");

  dispatch(effect, effSetProgram, 0, 1);
  EXPECT_EQ(dispatch(effect, effGetProgram), 1);
  EXPECT_EQ(effect->getParameter(effect, 0), 5.0f / 24.0f);
  EXPECT_EQ(text(effGetParamDisplay, 0, 0, 8), "0.21");
  EXPECT_EQ(effect->getParameter(effect, 12), 0.0f);
  EXPECT_EQ(effect->getParameter(effect, 7), 0.24f);
  EXPECT_EQ(text(effGetProgramName, 0, 0, 24), "Eth Drm");

  for (intptr_t outside : {32, -1, 1000}) {
    dispatch(effect, effSetProgram, 0, outside);
    EXPECT_EQ(dispatch(effect, effGetProgram), 1) << outside;
  }
  dispatch(effect, effSetProgram, 0, 31);
  EXPECT_EQ(dispatch(effect, effGetProgram), 31);
  EXPECT_EQ(effect->getParameter(effect, 8), 0.5f);
}

TEST_F(SynthHost, ProgramNamesAreKeptWithinTheRecord) {
  char name[] = "Twenty-three characters";  // 23 characters
  dispatch(effect, effSetProgramName, 0, 0, name);
  EXPECT_EQ(text(effGetProgramName, 0, 0, 24), "Twenty-three characters");
  EXPECT_EQ(text(effGetProgramNameIndexed, 0, 0, 24), "Twenty-three characters");
  char longName[] = "A name far longer than the twenty-four byte record";
  dispatch(effect, effSetProgramName, 0, 0, longName);
  EXPECT_EQ(text(effGetProgramName, 0, 0, 24), "A name far longer than ");
  EXPECT_EQ(text(effGetProgramNameIndexed, 1, 0, 24), "Eth Drm") << "neighbour untouched";
}

TEST_F(SynthHost, CopyProgramCopiesValuesAndName) {
  dispatch(effect, effSetProgram, 0, 1);
  EXPECT_EQ(dispatch(effect, effCopyProgram, 5), 1);
  EXPECT_EQ(text(effGetProgramNameIndexed, 5, 0, 24), "Eth Drm");
  dispatch(effect, effSetProgram, 0, 5);
  const float ethDrm[14] = {5.0f / 24.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.6f, 0.0f,
                            0.24f,        0.8f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f};
  for (int32_t i = 0; i < 14; ++i) EXPECT_EQ(effect->getParameter(effect, i), ethDrm[i]) << i;
  EXPECT_EQ(dispatch(effect, effCopyProgram, 5), 1) << "copy onto itself";
  EXPECT_EQ(text(effGetProgramNameIndexed, 5, 0, 24), "Eth Drm");
  EXPECT_EQ(dispatch(effect, effCopyProgram, 32), 0);
  EXPECT_EQ(dispatch(effect, effCopyProgram, -1), 0);
}

TEST_F(SynthHost, OutputProperties) {
  struct Row {
    int32_t index;
    intptr_t answer;
    const char* label;
  };
  const Row rows[] = {{0, 1, "Orin 1"}, {1, 1, "Orin 2"}, {2, 0, "untouched"}, {-1, 1, "Orin 0"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.index);
    VstPinProperties pin;
    std::memset(&pin, 0x5A, sizeof pin);
    std::strcpy(pin.label, "untouched");
    EXPECT_EQ(dispatch(effect, effGetOutputProperties, row.index, 0, &pin), row.answer);
    EXPECT_STREQ(pin.label, row.label);
    EXPECT_EQ(pin.flags, row.answer != 0 ? 3 : 0x5A5A5A5A);
    EXPECT_EQ(pin.arrangementType, 0x5A5A5A5A) << "other fields are left alone";
  }
}

TEST_F(SynthHost, ResumeAsksForMidiEveryTime) {
  RecordingHost& host = RecordingHost::instance();
  host.calls.clear();
  dispatch(effect, effMainsChanged, 0, 1);
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  auto wants = host.callsWith(audioMasterWantMidi);
  ASSERT_EQ(wants.size(), 2u);
  for (const HostCall& call : wants) {
    EXPECT_EQ(call.effect, effect);
    EXPECT_EQ(call.value, 1);
  }
  EXPECT_EQ(host.calls.size(), 2u);
}

TEST_F(SynthHost, InstancesAreIndependent) {
  AEffect* second = entry(&RecordingHost::callback);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, effect);
  EXPECT_NE(second->object, effect->object);
  effect->setParameter(effect, 3, 0.9f);
  dispatch(second, effSetProgram, 0, 1);
  EXPECT_EQ(second->getParameter(second, 3), 0.0f);
  EXPECT_EQ(dispatch(effect, effGetProgram), 0);
  EXPECT_EQ(effect->getParameter(effect, 3), 0.9f);
  EXPECT_EQ(dispatch(effect, effClose), 1);
  effect = nullptr;
  // The survivor is fully usable.
  EXPECT_EQ(dispatch(second, effGetProgram), 1);
  char name[24] = {};
  dispatch(second, effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "Eth Drm");
  float left[16] = {}, right[16] = {};
  float* outputs[2] = {left, right};
  second->processReplacing(second, nullptr, outputs, 16);
  EXPECT_EQ(dispatch(second, effClose), 1);
}

TEST_F(SynthHost, NullBuffersNeverCrash) {
  const int32_t opcodes[] = {effSetProgramName, effGetProgramName, effGetParamLabel,
                             effGetParamDisplay, effGetParamName, effEditGetRect, effEditOpen,
                             effGetChunk, effSetChunk, effProcessEvents, effGetProgramNameIndexed,
                             effGetOutputProperties, effGetInputProperties, effGetEffectName,
                             effGetVendorString, effGetProductString, effGetErrorText,
                             effString2Parameter, effGetParameterProperties, effGetMidiKeyName,
                             effGetMidiProgramName};
  for (int32_t opcode : opcodes) EXPECT_EQ(dispatch(effect, opcode, 0, 0, nullptr), 0) << opcode;
  // Queries whose "no" is -1 keep it: a null text is no capability, and there is no MIDI program.
  EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, nullptr), -1);
  EXPECT_EQ(dispatch(effect, effGetCurrentMidiProgram, 0, 0, nullptr), -1);
}

}  // namespace

#if defined(__i386__) || defined(__x86_64__)
// Loading the library leaves the loading thread with every x87 exception masked.
TEST(LibraryLoad, SetsTheX87ControlWord) {
  uint16_t before = 0;
  __asm__ volatile("fnstcw %0" : "=m"(before));
  ASSERT_TRUE(builtPlugin().loaded()) << builtPlugin().error();
  uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  // Bit 6 is reserved and reads back as the processor wires it.
  EXPECT_EQ(word & ~0x40, 0x133F) << "before loading: " << std::hex << before;
}
#endif
