#include "DAudioEffect.h"

#include <cmath>
#include <cstring>

#include "DAEffectX.h"
#include "DVstUtils.h"

namespace {

AudioEffect* instanceOf(AEffect* effect) { return static_cast<AudioEffect*>(effect->object); }

intptr_t VELA_CDECL dispatcherEntry(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt) {
  AudioEffect* instance = instanceOf(effect);
  intptr_t result = instance->dispatcher(opcode, index, value, ptr, opt);
  if (opcode == effClose) {
    delete instance;
    return 1;
  }
  return result;
}

void VELA_CDECL processEntry(AEffect* effect, float** inputs, float** outputs,
                             int32_t sampleFrames) {
  instanceOf(effect)->process(inputs, outputs, sampleFrames);
}

void VELA_CDECL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                      int32_t sampleFrames) {
  instanceOf(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void VELA_CDECL setParameterEntry(AEffect* effect, int32_t index, float value) {
  instanceOf(effect)->setParameter(index, value);
}

float VELA_CDECL getParameterEntry(AEffect* effect, int32_t index) {
  return instanceOf(effect)->getParameter(index);
}

// The library's default x87 control word: extended precision, round to nearest, every
// exception masked. Loaded once on the thread that loads the library.
constexpr uint16_t kX87ControlWord = 0x133F;

struct X87AtLoad {
  X87AtLoad() {
#if (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
    uint16_t word = kX87ControlWord;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word));
#endif
  }
};
const X87AtLoad x87AtLoad;

}  // namespace

void copyHostText(char* buffer, const char* text, size_t size) {
  if (buffer == nullptr || size == 0) return;
  size_t length = std::strlen(text);
  if (length > size - 1) length = size - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

// ---------------------------------------------------------------------------------------------
// AEffEditor

AEffEditor::AEffEditor(AudioEffect* owner) : effect(owner) {}
AEffEditor::~AEffEditor() = default;

int32_t AEffEditor::getRect(ERect** rect) {
  *rect = nullptr;
  return 0;
}

int32_t AEffEditor::open(void* ptr) {
  systemWindow = ptr;
  return 0;
}

void AEffEditor::close() {}

void AEffEditor::idle() {
  if (updateFlag != 0) {
    updateFlag = 0;
    update();
  }
}

void AEffEditor::update() {}
void AEffEditor::postUpdate() { updateFlag = 1; }
int32_t AEffEditor::onKeyDown(VstKeyCode&) { return -1; }
int32_t AEffEditor::onKeyUp(VstKeyCode&) { return -1; }
int32_t AEffEditor::setKnobMode(int32_t) { return 0; }
bool AEffEditor::onWheel(float) { return false; }

// ---------------------------------------------------------------------------------------------
// AudioEffect

AudioEffect::AudioEffect(audioMasterCallback master, int32_t programs, int32_t params)
    : numPrograms(programs), numParams(params), audioMaster(master) {
  std::memset(&cEffect, 0, sizeof(cEffect));
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatcherEntry;
  cEffect.process = processEntry;
  cEffect.setParameter = setParameterEntry;
  cEffect.getParameter = getParameterEntry;
  cEffect.numPrograms = programs;
  cEffect.numParams = params;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.user = nullptr;
  cEffect.uniqueID = fourCharsToCode('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = processReplacingEntry;
}

AudioEffect::~AudioEffect() {
  delete editor;
  editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(int32_t bit, bool state) {
  if (state)
    cEffect.flags |= bit;
  else
    cEffect.flags &= ~bit;
}

intptr_t AudioEffect::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt,
                               intptr_t noHost) {
  if (audioMaster == nullptr) return noHost;
  return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setSampleRate(float newSampleRate) {
  // A rate that is not a positive finite number keeps the previous one.
  if (newSampleRate > 0.0f && std::isfinite(newSampleRate)) sampleRate = newSampleRate;
}
void AudioEffect::setBlockSize(int32_t newBlockSize) { blockSize = newBlockSize; }
void AudioEffect::setParameter(int32_t, float) {}
float AudioEffect::getParameter(int32_t) { return 0.0f; }

void AudioEffect::setParameterAutomated(int32_t index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::processReplacing(float**, float**, int32_t) {}
void AudioEffect::open() {}
void AudioEffect::close() {}
int32_t AudioEffect::getProgram() { return curProgram; }
void AudioEffect::setProgram(int32_t program) { curProgram = program; }
void AudioEffect::setProgramName(char*) {}
void AudioEffect::getProgramName(char*) {}
void AudioEffect::getParameterLabel(int32_t, char*) {}
void AudioEffect::getParameterDisplay(int32_t, char*) {}
void AudioEffect::getParameterName(int32_t, char*) {}
float AudioEffect::getVu() { return 0.0f; }
int32_t AudioEffect::getChunk(void**, bool) { return 0; }
int32_t AudioEffect::setChunk(void*, int32_t, bool) { return 0; }
void AudioEffect::suspend() {}
void AudioEffect::resume() {}
void AudioEffect::setUniqueID(int32_t id) { cEffect.uniqueID = id; }
void AudioEffect::setNumInputs(int32_t inputs) { cEffect.numInputs = inputs; }
void AudioEffect::setNumOutputs(int32_t outputs) { cEffect.numOutputs = outputs; }
void AudioEffect::hasVu(bool state) { setFlag(effFlagsHasVu, state); }
void AudioEffect::hasClip(bool state) { setFlag(effFlagsHasClip, state); }
void AudioEffect::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void AudioEffect::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
void AudioEffect::setRealtimeQualities(int32_t qualities) { cEffect.realQualities = qualities; }
void AudioEffect::setOfflineQualities(int32_t qualities) { cEffect.offQualities = qualities; }
void AudioEffect::setInitialDelay(int32_t delay) { cEffect.initialDelay = delay; }

int32_t AudioEffect::getMasterVersion() {
  intptr_t answer = callHost(audioMasterVersion, 0, 0, nullptr, 0.0f, 1);
  return answer == 0 ? 1 : static_cast<int32_t>(answer);
}

int32_t AudioEffect::getCurrentUniqueId() {
  return static_cast<int32_t>(callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle, 0, 0, nullptr, 0.0f); }

bool AudioEffect::isInputConnected(int32_t input) {
  return callHost(audioMasterPinConnected, input, 0, nullptr, 0.0f, 0) == 0;
}

bool AudioEffect::isOutputConnected(int32_t output) {
  return callHost(audioMasterPinConnected, output, 1, nullptr, 0.0f, 0) == 0;
}

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
  // Text and record opcodes with no buffer are declined here, so no operation sees a null.
  switch (opcode) {
    case effSetProgramName:
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effEditGetRect:
    case effEditOpen:
    case effGetChunk:
      if (ptr == nullptr) return 0;
      break;
    default:
      break;
  }

  switch (static_cast<uint32_t>(opcode)) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 0;
    case effSetProgram:
      if (value >= 0 && value < numPrograms) setProgram(static_cast<int32_t>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effGetVu: {
      // Out-of-range meters are clamped so the conversion stays defined.
      double scaled = static_cast<double>(getVu()) * 32767.0;
      if (!(scaled == scaled)) return 0;
      if (scaled > 2147483647.0) scaled = 2147483647.0;
      if (scaled < -2147483648.0) scaled = -2147483648.0;
      return static_cast<int32_t>(std::nearbyint(scaled));
    }
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<int32_t>(value));
      return 0;
    case effMainsChanged:
      if (value == 0)
        suspend();
      else
        resume();
      return 0;
    case effEditGetRect: {
      if (editor == nullptr) return 0;
      ERect** hostRect = static_cast<ERect**>(ptr);
      ERect* rect = *hostRect;
      int32_t result = editor->getRect(&rect);
      *hostRect = rect;
      return result;
    }
    case effEditOpen:
      return editor != nullptr ? editor->open(ptr) : 0;
    case effEditClose:
      if (editor != nullptr) editor->close();
      return 0;
    case effEditIdle:
      if (editor != nullptr) editor->idle();
      return 0;
    case effIdentify:
      return fourCharsToCode('N', 'v', 'E', 'f');
    case effGetChunk:
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
      return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    default:
      return 0;
  }
}
