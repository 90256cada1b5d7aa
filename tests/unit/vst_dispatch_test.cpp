// The dispatchers: which operation each opcode reaches, with which arguments, and what the host
// gets back; the neutral defaults; the host-request wrappers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "DAudioEffectX.h"
#include "RecordingHost.h"

namespace {

// Records the last operation the dispatcher reached and answers with fixed values.
class ProbeEffect : public AudioEffectX {
 public:
  explicit ProbeEffect(audioMasterCallback master) : AudioEffectX(master, 4, 3) {}

  std::string called;
  int32_t gotIndex = -99;
  intptr_t gotValue = -99;
  void* gotPtr = nullptr;
  float gotOpt = -99.0f;
  bool gotFlag = false;
  float vu = 0.0f;

  void note(const char* name, int32_t index = -99, intptr_t value = -99, void* ptr = nullptr,
            float opt = -99.0f, bool flag = false) {
    called = name;
    gotIndex = index;
    gotValue = value;
    gotPtr = ptr;
    gotOpt = opt;
    gotFlag = flag;
  }

  void process(float**, float**, int32_t) override {}
  void open() override { note("open"); }
  void close() override { note("close"); }
  void setProgram(int32_t p) override {
    note("setProgram", -99, p);
    AudioEffectX::setProgram(p);
  }
  void setProgramName(char* t) override { note("setProgramName", -99, -99, t); }
  void getProgramName(char* t) override { note("getProgramName", -99, -99, t); }
  void getParameterLabel(int32_t i, char* t) override { note("getParameterLabel", i, -99, t); }
  void getParameterDisplay(int32_t i, char* t) override {
    note("getParameterDisplay", i, -99, t);
    std::strcpy(t, "0.50");
  }
  void getParameterName(int32_t i, char* t) override { note("getParameterName", i, -99, t); }
  float getVu() override { return vu; }
  void setSampleRate(float r) override {
    note("setSampleRate", -99, -99, nullptr, r);
    AudioEffectX::setSampleRate(r);
  }
  void setBlockSize(int32_t b) override {
    note("setBlockSize", -99, b);
    AudioEffectX::setBlockSize(b);
  }
  void suspend() override { note("suspend"); }
  void resume() override { note("resume"); }
  int32_t getChunk(void** d, bool preset) override {
    note("getChunk", -99, -99, d, -99.0f, preset);
    return 77;
  }
  int32_t setChunk(void* d, int32_t size, bool preset) override {
    note("setChunk", -99, size, d, -99.0f, preset);
    return 78;
  }
  int32_t processEvents(VstEvents* e) override {
    note("processEvents", -99, -99, e);
    return 5;
  }
  bool getProgramNameIndexed(int32_t category, int32_t index, char* t) override {
    note("getProgramNameIndexed", index, category, t);
    return true;
  }
  bool copyProgram(int32_t destination) override {
    note("copyProgram", destination);
    return false;
  }
  void inputConnected(int32_t i, bool s) override { note("inputConnected", i, -99, nullptr, -99.0f, s); }
  void outputConnected(int32_t i, bool s) override { note("outputConnected", i, -99, nullptr, -99.0f, s); }
  bool offlineNotify(void* files, int32_t count, bool start) override {
    note("offlineNotify", -99, count, files, -99.0f, start);
    return true;
  }
  bool setSpeakerArrangement(void* in, void* out) override {
    note("setSpeakerArrangement", -99, reinterpret_cast<intptr_t>(in), out);
    return true;
  }
  bool setBypass(bool on) override {
    note("setBypass", -99, -99, nullptr, -99.0f, on);
    return true;
  }
  intptr_t vendorSpecific(int32_t i, intptr_t v, void* p, float o) override {
    note("vendorSpecific", i, v, p, o);
    return 1234;
  }
  bool setViewPosition(int32_t x, int32_t y) override {
    note("setViewPosition", x, y);
    return true;
  }

  int32_t flags() const { return cEffect.flags; }
  int32_t storedBlockSize() const { return blockSize; }
  float storedSampleRate() const { return sampleRate; }
  using AudioEffectX::setEditor;
};

// Counts the editor operations the dispatcher reaches.
class ProbeEditor : public AEffEditorX {
 public:
  explicit ProbeEditor(AudioEffect* owner) : AEffEditorX(owner) {}
  ~ProbeEditor() override { ++destroyed(); }
  static int& destroyed() {
    static int count = 0;
    return count;
  }
  int32_t open(void* ptr) override {
    lastOpen = ptr;
    return 7;
  }
  void close() override { ++closes; }
  void update() override { ++updates; }
  int32_t onKeyDown(VstKeyCode& key) override {
    lastKey = key;
    return AEffEditorX::onKeyDown(key);
  }
  int32_t getRect(ERect** rect) override {
    *rect = &rectangle;
    return 1;
  }
  void* lastOpen = nullptr;
  int closes = 0;
  int updates = 0;
  VstKeyCode lastKey{};
  ERect rectangle{1, 2, 3, 4};
};

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { RecordingHost::instance().reset(); }
  ProbeEffect effect{&RecordingHost::callback};
  intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                float opt = 0.0f) {
    return effect.dispatcher(opcode, index, value, ptr, opt);
  }
};

TEST_F(DispatchTest, FreshRecordHoldsTheDefaults) {
  AEffect* e = effect.getAeffect();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->uniqueID, 0x4E6F4566);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->numInputs, 1);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->numPrograms, 4);
  EXPECT_EQ(e->numParams, 3);
  EXPECT_EQ(e->flags, 0);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->object, &effect);
  EXPECT_EQ(e->user, nullptr);
  for (char byte : e->future) EXPECT_EQ(byte, 0);
  EXPECT_TRUE(RecordingHost::instance().calls.empty()) << "construction must not call the host";
}

struct OpcodeRow {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
  const char* operation;  // "" when nothing is reached
  intptr_t result;
  int32_t wantIndex;
  intptr_t wantValue;
  bool wantFlag;
};

TEST_F(DispatchTest, OpcodesReachTheirOperations) {
  char buffer[64] = {};
  const OpcodeRow rows[] = {
      {effOpen, 0, 0, 0, "open", 0, -99, -99, false},
      {effClose, 0, 0, 0, "close", 0, -99, -99, false},
      {effSetProgram, 0, 3, 0, "setProgram", 0, -99, 3, false},
      {effSetProgram, 0, 4, 0, "", 0, -99, -99, false},
      {effSetProgram, 0, -1, 0, "", 0, -99, -99, false},
      {effSetProgramName, 0, 0, 0, "setProgramName", 0, -99, -99, false},
      {effGetProgramName, 0, 0, 0, "getProgramName", 0, -99, -99, false},
      {effGetParamLabel, 2, 0, 0, "getParameterLabel", 0, 2, -99, false},
      {effGetParamDisplay, 1, 0, 0, "getParameterDisplay", 0, 1, -99, false},
      {effGetParamName, 9, 0, 0, "getParameterName", 0, 9, -99, false},
      {effSetBlockSize, 0, 333, 0, "setBlockSize", 0, -99, 333, false},
      {effMainsChanged, 0, 0, 0, "suspend", 0, -99, -99, false},
      {effMainsChanged, 0, 1, 0, "resume", 0, -99, -99, false},
      {effMainsChanged, 0, -7, 0, "resume", 0, -99, -99, false},
      {effEditDraw, 0, 0, 0, "", 0, -99, -99, false},
      {effEditMouse, 0, 0, 0, "", 0, -99, -99, false},
      {effEditKey, 0, 0, 0, "", 0, -99, -99, false},
      {effEditTop, 0, 0, 0, "", 0, -99, -99, false},
      {effEditSleep, 0, 0, 0, "", 0, -99, -99, false},
      {effIdentify, 0, 0, 0, "", 0x4E764566, -99, -99, false},
      {effGetChunk, 1, 0, 0, "getChunk", 77, -99, -99, true},
      {effGetChunk, 0, 0, 0, "getChunk", 77, -99, -99, false},
      {effSetChunk, 5, 99, 0, "setChunk", 78, -99, 99, true},
      {effProcessEvents, 0, 0, 0, "processEvents", 5, -99, -99, false},
      {effGetProgramNameIndexed, 6, 2, 0, "getProgramNameIndexed", 1, 6, 2, false},
      {effCopyProgram, 3, 0, 0, "copyProgram", 0, 3, -99, false},
      {effConnectInput, 4, 1, 0, "inputConnected", 1, 4, -99, true},
      {effConnectOutput, 5, 0, 0, "outputConnected", 1, 5, -99, false},
      {effOfflineNotify, 1, 9, 0, "offlineNotify", 1, -99, 9, true},
      {effSetBypass, 0, 2, 0, "setBypass", 1, -99, -99, true},
      {effVendorSpecific, 11, 12, 1.5f, "vendorSpecific", 1234, 11, 12, false},
      {effSetViewPosition, 30, 40, 0, "setViewPosition", 1, 30, 40, false},
      {69, 0, 0, 0, "", 0, -99, -99, false},
      {-1, 0, 0, 0, "", 0, -99, -99, false},
      {1000, 0, 0, 0, "", 0, -99, -99, false},
      {INT32_MIN, 0, 0, 0, "", 0, -99, -99, false},
      {INT32_MIN + 24, 0, 0, 0, "", 0, -99, -99, false},
  };
  for (const OpcodeRow& row : rows) {
    SCOPED_TRACE("opcode " + std::to_string(row.opcode) + " value " + std::to_string(row.value));
    effect.called.clear();
    EXPECT_EQ(call(row.opcode, row.index, row.value, buffer, row.opt), row.result);
    EXPECT_EQ(effect.called, row.operation);
    if (*row.operation != '\0') {
      EXPECT_EQ(effect.gotIndex, row.wantIndex);
      EXPECT_EQ(effect.gotValue, row.wantValue);
      EXPECT_EQ(effect.gotFlag, row.wantFlag);
    }
  }
}

TEST_F(DispatchTest, DefaultAnswersOfTheExtendedOperations) {
  struct Row {
    int32_t opcode;
    intptr_t result;
  };
  const Row rows[] = {
      {effCanBeAutomated, 1},     {effString2Parameter, 0},      {effGetNumProgramCategories, 1},
      {effGetInputProperties, 0}, {effGetOutputProperties, 0},   {effGetPlugCategory, 0},
      {effGetCurrentPosition, 0}, {effGetDestinationBuffer, 0},  {effOfflinePrepare, 0},
      {effOfflineRun, 0},         {effProcessVarIo, 0},          {effGetEffectName, 0},
      {effGetErrorText, 0},       {effGetVendorString, 0},       {effGetProductString, 0},
      {effGetVendorVersion, 0},   {effCanDo, 0},                 {effGetTailSize, 0},
      {effIdle, 0},               {effGetIcon, 0},               {effGetParameterProperties, 0},
      {effKeysRequired, 1},       {effGetVstVersion, 2200},      {effEditKeyDown, 0},
      {effEditKeyUp, 0},          {effSetEditKnobMode, 0},       {effGetMidiProgramName, 0},
      {effGetCurrentMidiProgram, -1}, {effGetMidiProgramCategory, 0}, {effHasMidiProgramsChanged, 0},
      {effGetMidiKeyName, 0},     {effBeginSetProgram, 0},       {effEndSetProgram, 0},
      {effGetProgram, 0},         {effGetVu, 0},
  };
  char buffer[256] = {};
  for (const Row& row : rows) {
    SCOPED_TRACE("opcode " + std::to_string(row.opcode));
    EXPECT_EQ(call(row.opcode, 12345, 0, buffer), row.result);
  }
  EXPECT_EQ(call(effCanBeAutomated, -5), 1);
  EXPECT_EQ(call(effGetCurrentMidiProgram, 0, 0, nullptr), -1) << "no record to fill is still -1";
}

TEST_F(DispatchTest, SampleRateAndBlockSize) {
  call(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(effect.called, "setSampleRate");
  EXPECT_EQ(effect.storedSampleRate(), 48000.0f);
  // Rates that are not positive finite numbers keep the previous one.
  for (float bad : {0.0f, -44100.0f, NAN, INFINITY}) {
    call(effSetSampleRate, 0, 0, nullptr, bad);
    EXPECT_EQ(effect.storedSampleRate(), 48000.0f);
    EXPECT_EQ(call(effSetBlockSizeAndSampleRate, 0, 64, nullptr, bad), 1);
    EXPECT_EQ(effect.storedSampleRate(), 48000.0f);
  }
  effect.called.clear();
  EXPECT_EQ(call(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f), 1);
  EXPECT_EQ(effect.storedBlockSize(), 256);
  EXPECT_EQ(effect.storedSampleRate(), 96000.0f);
  EXPECT_EQ(effect.called, "setSampleRate") << "the combined opcode takes the rate's own road";
}

TEST_F(DispatchTest, VuIsScaledAndRoundedToEven) {
  effect.vu = 0.5f;  // 16383.5 -> 16384 (even)
  EXPECT_EQ(call(effGetVu), 16384);
  effect.vu = 1.0f;
  EXPECT_EQ(call(effGetVu), 32767);
  effect.vu = NAN;
  EXPECT_EQ(call(effGetVu), 0);
}

TEST_F(DispatchTest, NullBuffersAreDeclined) {
  const int32_t needBuffer[] = {effSetProgramName,  effGetProgramName,  effGetParamLabel,
                                effGetParamDisplay, effGetParamName,    effEditGetRect,
                                effEditOpen,        effGetChunk,        effProcessEvents,
                                effString2Parameter, effGetProgramNameIndexed,
                                effGetOutputProperties, effGetEffectName, effGetVendorString,
                                effGetProductString, effGetMidiKeyName};
  for (int32_t opcode : needBuffer) {
    SCOPED_TRACE("opcode " + std::to_string(opcode));
    effect.called.clear();
    EXPECT_EQ(call(opcode, 1, 1, nullptr), 0);
    EXPECT_EQ(effect.called, "");
  }
}

TEST_F(DispatchTest, FlagSettersTouchOnlyTheirBit) {
  struct Row {
    void (AudioEffect::*set)(bool);
    int32_t bit;
  };
  const Row base[] = {{&AudioEffect::hasClip, effFlagsHasClip},
                      {&AudioEffect::hasVu, effFlagsHasVu},
                      {&AudioEffect::canMono, effFlagsCanMono},
                      {&AudioEffect::canProcessReplacing, effFlagsCanReplacing},
                      {&AudioEffect::programsAreChunks, effFlagsProgramChunks}};
  for (const Row& row : base) {
    (effect.*row.set)(true);
    EXPECT_EQ(effect.flags(), row.bit);
    (effect.*row.set)(false);
    EXPECT_EQ(effect.flags(), 0);
  }
  struct RowX {
    void (AudioEffectX::*set)(bool);
    int32_t bit;
  };
  const RowX extended[] = {{&AudioEffectX::isSynth, effFlagsIsSynth},
                           {&AudioEffectX::noTail, effFlagsNoSoundInStop},
                           {&AudioEffectX::wantAsyncOperation, effFlagsExtIsAsync},
                           {&AudioEffectX::hasExternalBuffer, effFlagsExtHasBuffer}};
  effect.hasClip(true);
  for (const RowX& row : extended) {
    (effect.*row.set)(true);
    EXPECT_EQ(effect.flags(), row.bit | effFlagsHasClip);
    (effect.*row.set)(false);
    EXPECT_EQ(effect.flags(), effFlagsHasClip);
  }
  effect.isSynth(true);
  EXPECT_EQ(call(effGetPlugCategory), kPlugCategSynth);
  EXPECT_TRUE(RecordingHost::instance().calls.empty());
}

TEST_F(DispatchTest, EditorOpcodesReachTheAttachedEditor) {
  ERect* hostRect = reinterpret_cast<ERect*>(0x1234);
  EXPECT_EQ(call(effEditGetRect, 0, 0, &hostRect), 0);
  EXPECT_EQ(hostRect, reinterpret_cast<ERect*>(0x1234)) << "no editor: host variable untouched";

  auto* editor = new ProbeEditor(&effect);
  effect.setEditor(editor);
  EXPECT_EQ(effect.flags() & effFlagsHasEditor, effFlagsHasEditor);
  EXPECT_EQ(call(effEditGetRect, 0, 0, &hostRect), 1);
  EXPECT_EQ(hostRect, &editor->rectangle);
  int parent = 0;
  EXPECT_EQ(call(effEditOpen, 0, 0, &parent), 7);
  EXPECT_EQ(editor->lastOpen, &parent);
  EXPECT_EQ(call(effEditClose), 0);
  EXPECT_EQ(editor->closes, 1);

  // Key codes: character = index, virt = low byte of value, modifier = rounded opt.
  EXPECT_EQ(call(effEditKeyDown, 65, 0x1234, nullptr, 2.5f), -1);
  EXPECT_EQ(editor->lastKey.character, 65);
  EXPECT_EQ(editor->lastKey.virt, 0x34);
  EXPECT_EQ(editor->lastKey.modifier, 2);
  EXPECT_EQ(call(effEditKeyUp, 65, 0, nullptr, 0.0f), -1);
  EXPECT_EQ(call(effSetEditKnobMode, 0, 2), 0);

  // Deferred update: any number of posts lead to one update at the next idle.
  EXPECT_EQ(call(effEditIdle), 0);
  EXPECT_EQ(editor->updates, 0);
  editor->postUpdate();
  editor->postUpdate();
  call(effEditIdle);
  call(effEditIdle);
  EXPECT_EQ(editor->updates, 1);

  effect.setEditor(nullptr);
  EXPECT_EQ(effect.flags() & effFlagsHasEditor, 0);
  delete editor;
}

TEST(EditorBase, DefaultsDeclineEverything) {
  ProbeEffect effect(nullptr);
  AEffEditor editor(&effect);
  ERect* rect = reinterpret_cast<ERect*>(0x10);
  EXPECT_EQ(editor.getRect(&rect), 0);
  EXPECT_EQ(rect, nullptr);
  VstKeyCode key{};
  EXPECT_EQ(editor.onKeyDown(key), -1);
  EXPECT_EQ(editor.onKeyUp(key), -1);
  EXPECT_EQ(editor.setKnobMode(1), 0);
  EXPECT_FALSE(editor.onWheel(1.0f));
  EXPECT_EQ(editor.open(&key), 0);
}

TEST(EffectEntry, CloseDestroysTheInstanceAndItsEditor) {
  ProbeEditor::destroyed() = 0;
  auto* effect = new ProbeEffect(&RecordingHost::callback);
  effect->setEditor(new ProbeEditor(effect));
  AEffect* record = effect->getAeffect();
  EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_EQ(ProbeEditor::destroyed(), 1);
}

// ---------------------------------------------------------------------------------------------
// Requests to the host.

struct RequestRow {
  const char* name;
  intptr_t (*send)(ProbeEffect&);
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
  intptr_t answer;       // what the host answers
  intptr_t withHost;     // what the wrapper returns then
  intptr_t withoutHost;  // what it returns with no host callback
};

char kText[] = "text";

const RequestRow kRequests[] = {
    {"getMasterVersion", [](ProbeEffect& e) -> intptr_t { return e.getMasterVersion(); },
     audioMasterVersion, 0, 0, 0, 0, 1, 1},
    {"getMasterVersion 2400", [](ProbeEffect& e) -> intptr_t { return e.getMasterVersion(); },
     audioMasterVersion, 0, 0, 0, 2400, 2400, 1},
    {"getCurrentUniqueId", [](ProbeEffect& e) -> intptr_t { return e.getCurrentUniqueId(); },
     audioMasterCurrentId, 0, 0, 0, 42, 42, 0},
    {"isInputConnected 0", [](ProbeEffect& e) -> intptr_t { return e.isInputConnected(3); },
     audioMasterPinConnected, 3, 0, 0, 0, 1, 1},
    {"isInputConnected 1", [](ProbeEffect& e) -> intptr_t { return e.isInputConnected(3); },
     audioMasterPinConnected, 3, 0, 0, 1, 0, 1},
    {"isOutputConnected", [](ProbeEffect& e) -> intptr_t { return e.isOutputConnected(1); },
     audioMasterPinConnected, 1, 1, 0, 0, 1, 1},
    {"tempoAt", [](ProbeEffect& e) -> intptr_t { return e.tempoAt(960); }, audioMasterTempoAt, 0,
     960, 0, 120000, 120000, 0},
    {"sizeWindow", [](ProbeEffect& e) -> intptr_t { return e.sizeWindow(481, 281); },
     audioMasterSizeWindow, 481, 281, 0, 1, 1, 0},
    {"updateSampleRate", [](ProbeEffect& e) -> intptr_t { return static_cast<intptr_t>(e.updateSampleRate()); },
     audioMasterGetSampleRate, 0, 0, 0, 96000, 44100, 44100},
    {"updateBlockSize", [](ProbeEffect& e) -> intptr_t { return e.updateBlockSize(); },
     audioMasterGetBlockSize, 0, 0, 0, 64, 1024, 1024},
    {"offlineRead", [](ProbeEffect& e) -> intptr_t { return e.offlineRead(nullptr, 5, true); },
     audioMasterOfflineRead, 1, 5, 0, 3, 1, 0},
    {"offlineStart", [](ProbeEffect& e) -> intptr_t { return e.offlineStart(nullptr, 4, 2); },
     audioMasterOfflineStart, 2, 4, 0, 0, 0, 0},
    {"offlineGetCurrentPass", [](ProbeEffect& e) -> intptr_t { return e.offlineGetCurrentPass(); },
     audioMasterOfflineGetCurrentPass, 0, 0, 0, 7, 1, 0},
    {"setOutputSamplerate", [](ProbeEffect& e) -> intptr_t { e.setOutputSamplerate(22050.0f); return 0; },
     audioMasterSetOutputSampleRate, 0, 0, 22050.0f, 0, 0, 0},
    {"canHostDo no", [](ProbeEffect& e) -> intptr_t { return e.canHostDo(kText); },
     audioMasterCanDo, 0, 0, 0, -1, 1, 0},
    {"canHostDo 0", [](ProbeEffect& e) -> intptr_t { return e.canHostDo(kText); },
     audioMasterCanDo, 0, 0, 0, 0, 0, 0},
    {"hostVendorSpecific", [](ProbeEffect& e) -> intptr_t { return e.hostVendorSpecific(3, 4, nullptr, 0.5f); },
     audioMasterVendorSpecific, 3, 4, 0.5f, 9, 9, 0},
    {"beginEdit", [](ProbeEffect& e) -> intptr_t { return e.beginEdit(6); }, audioMasterBeginEdit,
     6, 0, 0, 1, 1, 0},
    {"endEdit", [](ProbeEffect& e) -> intptr_t { return e.endEdit(6); }, audioMasterEndEdit, 6, 0,
     0, 1, 1, 0},
    {"wantEvents", [](ProbeEffect& e) -> intptr_t { e.wantEvents(1); return 0; },
     audioMasterWantMidi, 0, 1, 0, 0, 0, 0},
    {"getHostLanguage", [](ProbeEffect& e) -> intptr_t { return e.getHostLanguage(); },
     audioMasterGetLanguage, 0, 0, 0, 2, 2, 0},
};

TEST(HostRequests, EachWrapperSendsItsOpcodeAndConvertsTheAnswer) {
  RecordingHost& host = RecordingHost::instance();
  for (const RequestRow& row : kRequests) {
    SCOPED_TRACE(row.name);
    ProbeEffect effect(&RecordingHost::callback);
    host.reset(row.opcode == audioMasterVersion ? row.answer : 2400);
    host.defaultAnswer = row.answer;
    EXPECT_EQ(row.send(effect), row.withHost);
    ASSERT_EQ(host.calls.size(), 1u);
    const HostCall& sent = host.calls[0];
    EXPECT_EQ(sent.effect, effect.getAeffect());
    EXPECT_EQ(sent.opcode, row.opcode);
    EXPECT_EQ(sent.index, row.index);
    EXPECT_EQ(sent.value, row.value);
    EXPECT_EQ(sent.opt, row.opt);

    ProbeEffect alone(nullptr);
    host.reset();
    EXPECT_EQ(row.send(alone), row.withoutHost);
    EXPECT_TRUE(host.calls.empty());
  }
}

TEST(HostRequests, AutomationAppliesFirstThenTellsTheHost) {
  struct Tracking : ProbeEffect {
    using ProbeEffect::ProbeEffect;
    size_t callsSeenBySet = 99;
    void setParameter(int32_t index, float value) override {
      callsSeenBySet = RecordingHost::instance().calls.size();
      note("setParameter", index, -99, nullptr, value);
    }
  };
  RecordingHost& host = RecordingHost::instance();
  host.reset();
  Tracking effect(&RecordingHost::callback);
  effect.setParameterAutomated(5, 0.25f);
  EXPECT_EQ(effect.callsSeenBySet, 0u);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
  EXPECT_EQ(host.calls[0].index, 5);
  EXPECT_EQ(host.calls[0].opt, 0.25f);

  Tracking alone(nullptr);
  host.reset();
  alone.setParameterAutomated(2, 0.75f);
  EXPECT_EQ(alone.called, "setParameter");
  EXPECT_EQ(alone.gotOpt, 0.75f);
  EXPECT_TRUE(host.calls.empty());
}

TEST(HostRequests, FileSelectorIsNotSentWithoutARecord) {
  RecordingHost& host = RecordingHost::instance();
  host.reset();
  ProbeEffect effect(&RecordingHost::callback);
  EXPECT_FALSE(effect.openFileSelector(nullptr));
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(effect.getTimeInfo(0), nullptr);
  EXPECT_EQ(host.calls.size(), 1u);
}

}  // namespace
