#include "DAudioEffectX.h"

#include <cmath>

AudioEffectX::AudioEffectX(audioMasterCallback master, int32_t programs, int32_t params)
    : AudioEffect(master, programs, params) {}

// The editor goes while the effect is still an AudioEffectX, so a panel closed with the plug-in
// in the middle of a drag can still end the host's edit gesture.
AudioEffectX::~AudioEffectX() {
  delete editor;
  editor = nullptr;
}

namespace {

// Opcodes declined with 0 when the host passes no buffer or record. effCanDo and
// effGetCurrentMidiProgram are not among them: their "no" is -1, and their operations cope
// with a null pointer themselves.
bool needsBuffer(int32_t opcode) {
  switch (opcode) {
    case effProcessEvents:
    case effString2Parameter:
    case effGetProgramNameIndexed:
    case effGetInputProperties:
    case effGetOutputProperties:
    case effGetEffectName:
    case effGetErrorText:
    case effGetVendorString:
    case effGetProductString:
    case effGetParameterProperties:
    case effGetMidiProgramName:
    case effGetMidiProgramCategory:
    case effGetMidiKeyName:
      return true;
    default:
      return false;
  }
}

}  // namespace

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  // Unsigned, so no opcode overflows: negative ones land with those above 68.
  if (static_cast<uint32_t>(opcode) - static_cast<uint32_t>(effProcessEvents) > 43u)
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  if (ptr == nullptr && needsBuffer(opcode)) return 0;

  auto text = static_cast<char*>(ptr);
  switch (opcode) {
    case effProcessEvents:
      return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
      return string2parameter(index, text) ? 1 : 0;
    case effGetNumProgramCategories:
      return getNumCategories();
    case effGetProgramNameIndexed:
      return getProgramNameIndexed(static_cast<int32_t>(value), index, text) ? 1 : 0;
    case effCopyProgram:
      return copyProgram(index) ? 1 : 0;
    case effConnectInput:
      inputConnected(index, value != 0);
      return 1;
    case effConnectOutput:
      outputConnected(index, value != 0);
      return 1;
    case effGetInputProperties:
      return getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
      return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
      return getPlugCategory();
    case effGetCurrentPosition:
      return reportCurrentPosition();
    case effGetDestinationBuffer:
      return reinterpret_cast<intptr_t>(reportDestinationBuffer());
    case effOfflineNotify:
      return offlineNotify(ptr, static_cast<int32_t>(value), index != 0) ? 1 : 0;
    case effOfflinePrepare:
      return offlinePrepare(ptr, static_cast<int32_t>(value)) ? 1 : 0;
    case effOfflineRun:
      return offlineRun(ptr, static_cast<int32_t>(value)) ? 1 : 0;
    case effProcessVarIo:
      return processVariableIo(ptr) ? 1 : 0;
    case effSetSpeakerArrangement:
      return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr) ? 1 : 0;
    case effSetBlockSizeAndSampleRate:
      setBlockSizeAndSampleRate(static_cast<int32_t>(value), opt);
      return 1;
    case effSetBypass:
      return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
      return getEffectName(text) ? 1 : 0;
    case effGetErrorText:
      return getErrorText(text) ? 1 : 0;
    case effGetVendorString:
      return getVendorString(text) ? 1 : 0;
    case effGetProductString:
      return getProductString(text) ? 1 : 0;
    case effGetVendorVersion:
      return getVendorVersion();
    case effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
      return canDo(text);
    case effGetTailSize:
      return getGetTailSize();
    case effIdle:
      return fxIdle();
    case effGetIcon:
      return reinterpret_cast<intptr_t>(getIcon());
    case effSetViewPosition:
      return setViewPosition(index, static_cast<int32_t>(value)) ? 1 : 0;
    case effGetParameterProperties:
      return getParameterProperties(index, ptr) ? 1 : 0;
    case effKeysRequired:
      return keysRequired() ? 0 : 1;
    case effGetVstVersion:
      return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
      if (editor == nullptr) return 0;
      VstKeyCode key{};
      key.character = index;
      key.virt = static_cast<uint8_t>(value & 0xFF);
      // Only the low byte of the rounded modifier matters; NaN and huge values give 0.
      double rounded = std::nearbyint(static_cast<double>(opt));
      key.modifier = (rounded == rounded && std::fabs(rounded) < 2147483648.0)
                         ? static_cast<uint8_t>(static_cast<int32_t>(rounded) & 0xFF)
                         : 0;
      return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
    }
    case effSetEditKnobMode:
      return editor != nullptr ? editor->setKnobMode(static_cast<int32_t>(value)) : 0;
    case effGetMidiProgramName:
      return getMidiProgramName(index, ptr);
    case effGetCurrentMidiProgram:
      return getCurrentMidiProgram(index, ptr);
    case effGetMidiProgramCategory:
      return getMidiProgramCategory(index, ptr);
    case effHasMidiProgramsChanged:
      return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName:
      return getMidiKeyName(index, ptr) ? 1 : 0;
    case effBeginSetProgram:
      return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
      return endSetProgram() ? 1 : 0;
    default:
      return 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Plug-in operations and their neutral defaults.

int32_t AudioEffectX::processEvents(VstEvents*) { return 0; }
bool AudioEffectX::canParameterBeAutomated(int32_t) { return true; }
bool AudioEffectX::string2parameter(int32_t, char*) { return false; }
float AudioEffectX::getChannelParameter(int32_t, int32_t) { return 0.0f; }
int32_t AudioEffectX::getNumCategories() { return 1; }
bool AudioEffectX::getProgramNameIndexed(int32_t, int32_t, char*) { return false; }
bool AudioEffectX::copyProgram(int32_t) { return false; }
void AudioEffectX::inputConnected(int32_t, bool) {}
void AudioEffectX::outputConnected(int32_t, bool) {}
bool AudioEffectX::getInputProperties(int32_t, VstPinProperties*) { return false; }
bool AudioEffectX::getOutputProperties(int32_t, VstPinProperties*) { return false; }
int32_t AudioEffectX::getPlugCategory() {
  return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}
int32_t AudioEffectX::reportCurrentPosition() { return 0; }
float* AudioEffectX::reportDestinationBuffer() { return nullptr; }
bool AudioEffectX::offlineNotify(void*, int32_t, bool) { return false; }
bool AudioEffectX::offlinePrepare(void*, int32_t) { return false; }
bool AudioEffectX::offlineRun(void*, int32_t) { return false; }
int32_t AudioEffectX::offlineGetNumPasses() { return 0; }
int32_t AudioEffectX::offlineGetNumMetaPasses() { return 0; }
bool AudioEffectX::processVariableIo(void*) { return false; }
bool AudioEffectX::setSpeakerArrangement(void*, void*) { return false; }
void AudioEffectX::setBlockSizeAndSampleRate(int32_t newBlockSize, float newSampleRate) {
  // The same road as the two separate opcodes, so a plug-in's own rate handling runs.
  setBlockSize(newBlockSize);
  setSampleRate(newSampleRate);
}
bool AudioEffectX::setBypass(bool) { return false; }
bool AudioEffectX::getEffectName(char*) { return false; }
bool AudioEffectX::getErrorText(char*) { return false; }
bool AudioEffectX::getVendorString(char*) { return false; }
bool AudioEffectX::getProductString(char*) { return false; }
int32_t AudioEffectX::getVendorVersion() { return 0; }
intptr_t AudioEffectX::vendorSpecific(int32_t, intptr_t, void*, float) { return 0; }
intptr_t AudioEffectX::canDo(char*) { return 0; }
void* AudioEffectX::getIcon() { return nullptr; }
bool AudioEffectX::setViewPosition(int32_t, int32_t) { return false; }
int32_t AudioEffectX::getGetTailSize() { return 0; }
int32_t AudioEffectX::fxIdle() { return 0; }
bool AudioEffectX::getParameterProperties(int32_t, void*) { return false; }
bool AudioEffectX::keysRequired() { return false; }
int32_t AudioEffectX::getVstVersion() { return 2200; }
int32_t AudioEffectX::getMidiProgramName(int32_t, void*) { return 0; }
int32_t AudioEffectX::getCurrentMidiProgram(int32_t, void*) { return -1; }
int32_t AudioEffectX::getMidiProgramCategory(int32_t, void*) { return 0; }
bool AudioEffectX::hasMidiProgramsChanged(int32_t) { return false; }
bool AudioEffectX::getMidiKeyName(int32_t, void*) { return false; }
bool AudioEffectX::beginSetProgram() { return false; }
bool AudioEffectX::endSetProgram() { return false; }

// ---------------------------------------------------------------------------------------------
// Requests to the host.

namespace {
int32_t asInt(intptr_t answer) { return static_cast<int32_t>(answer); }
}  // namespace

void AudioEffectX::wantEvents(int32_t filter) {
  callHost(audioMasterWantMidi, 0, filter, nullptr, 0.0f);
}
void* AudioEffectX::getTimeInfo(int32_t filter) {
  return reinterpret_cast<void*>(callHost(audioMasterGetTime, 0, filter, nullptr, 0.0f));
}
int32_t AudioEffectX::tempoAt(int32_t position) {
  return asInt(callHost(audioMasterTempoAt, 0, position, nullptr, 0.0f));
}
int32_t AudioEffectX::getNumAutomatableParameters() {
  return asInt(callHost(audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f));
}
int32_t AudioEffectX::getParameterQuantization() {
  return asInt(callHost(audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f));
}
bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged, 0, 0, nullptr, 0.0f) != 0; }
bool AudioEffectX::needIdle() { return callHost(audioMasterNeedIdle, 0, 0, nullptr, 0.0f) != 0; }
bool AudioEffectX::sizeWindow(int32_t width, int32_t height) {
  return callHost(audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
}
double AudioEffectX::updateSampleRate() {
  callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
  return sampleRate;
}
int32_t AudioEffectX::updateBlockSize() {
  callHost(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
  return blockSize;
}
int32_t AudioEffectX::getInputLatency() {
  return asInt(callHost(audioMasterGetInputLatency, 0, 0, nullptr, 0.0f));
}
int32_t AudioEffectX::getOutputLatency() {
  return asInt(callHost(audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f));
}
AEffect* AudioEffectX::getPreviousPlug() {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f));
}
AEffect* AudioEffectX::getNextPlug() {
  return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, 0, 0, nullptr, 0.0f));
}
int32_t AudioEffectX::willProcessReplacing() {
  return asInt(callHost(audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f));
}
int32_t AudioEffectX::getCurrentProcessLevel() {
  return asInt(callHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f));
}
int32_t AudioEffectX::getAutomationState() {
  return asInt(callHost(audioMasterGetAutomationState, 0, 0, nullptr, 0.0f));
}
bool AudioEffectX::offlineRead(void* task, int32_t option, bool readSource) {
  return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, task, 0.0f) != 0;
}
bool AudioEffectX::offlineWrite(void* task, int32_t option) {
  return callHost(audioMasterOfflineWrite, 0, option, task, 0.0f) != 0;
}
bool AudioEffectX::offlineStart(void* audioFiles, int32_t numAudioFiles, int32_t numNewAudioFiles) {
  return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles, 0.0f) != 0;
}
int32_t AudioEffectX::offlineGetCurrentPass() {
  return callHost(audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f) != 0 ? 1 : 0;
}
int32_t AudioEffectX::offlineGetCurrentMetaPass() {
  return callHost(audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f) != 0 ? 1 : 0;
}
void AudioEffectX::setOutputSamplerate(float rate) {
  callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}
bool AudioEffectX::getSpeakerArrangement(void* input, void* output) {
  return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(input), output,
                  0.0f) != 0;
}
bool AudioEffectX::getHostVendorString(char* text) {
  return callHost(audioMasterGetVendorString, 0, 0, text, 0.0f) != 0;
}
bool AudioEffectX::getHostProductString(char* text) {
  return callHost(audioMasterGetProductString, 0, 0, text, 0.0f) != 0;
}
int32_t AudioEffectX::getHostVendorVersion() {
  return asInt(callHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f));
}
int32_t AudioEffectX::hostVendorSpecific(int32_t a, int32_t b, void* p, float f) {
  return asInt(callHost(audioMasterVendorSpecific, a, b, p, f));
}
int32_t AudioEffectX::canHostDo(char* text) {
  return callHost(audioMasterCanDo, 0, 0, text, 0.0f) != 0 ? 1 : 0;
}
int32_t AudioEffectX::getHostLanguage() {
  return asInt(callHost(audioMasterGetLanguage, 0, 0, nullptr, 0.0f));
}
void* AudioEffectX::openWindow(void* window) {
  return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window, 0.0f));
}
bool AudioEffectX::closeWindow(void* window) {
  return callHost(audioMasterCloseWindow, 0, 0, window, 0.0f) != 0;
}
void* AudioEffectX::getDirectory() {
  return reinterpret_cast<void*>(callHost(audioMasterGetDirectory, 0, 0, nullptr, 0.0f));
}
bool AudioEffectX::updateDisplay() {
  return callHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f) != 0;
}
bool AudioEffectX::beginEdit(int32_t index) {
  return callHost(audioMasterBeginEdit, index, 0, nullptr, 0.0f) != 0;
}
bool AudioEffectX::endEdit(int32_t index) {
  return callHost(audioMasterEndEdit, index, 0, nullptr, 0.0f) != 0;
}
bool AudioEffectX::openFileSelector(void* selector) {
  if (selector == nullptr) return false;
  return callHost(audioMasterOpenFileSelector, 0, 0, selector, 0.0f) != 0;
}

// ---------------------------------------------------------------------------------------------
// Flag setters: no host call.

void AudioEffectX::isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
void AudioEffectX::noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
void AudioEffectX::wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
void AudioEffectX::hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
