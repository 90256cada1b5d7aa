#include "uVSTXSynth.h"

#include <cstdio>
#include <cstring>

#include "DVstUtils.h"
#include "GrEditor.h"

namespace {

bool isParamIndex(int32_t index) { return static_cast<uint32_t>(index) < kNumParams; }

constexpr uint32_t kAllParams = (1u << kNumParams) - 1;

// Program names are only ever touched by editing threads; they take turns here.
class NameGuard {
 public:
  explicit NameGuard(std::atomic_flag& flag) : flag_(flag) {
    while (flag_.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~NameGuard() { flag_.clear(std::memory_order_release); }
  NameGuard(const NameGuard&) = delete;
  NameGuard& operator=(const NameGuard&) = delete;

 private:
  std::atomic_flag& flag_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// VstXSynthProgram

VstXSynthProgram::VstXSynthProgram() : name("Basic") {
  for (const ParameterInfo& p : kParameters) values[p.recordSlot] = p.initial;
}

void VstXSynthProgram::copyFrom(const VstXSynthProgram& other) {
  for (int32_t i = 0; i < kNumParams; ++i) setSharedValue(i, other.sharedValue(i));
  std::memcpy(name, other.name, sizeof name);
}

// ---------------------------------------------------------------------------------------------
// AVstXSynth: construction, parameters, programs, identity.

AVstXSynth::AVstXSynth(audioMasterCallback master) : AudioEffectX(master, kNumPrograms, kNumParams) {
  setEditor(new GrEditor(this));
  for (int32_t n = 1; n <= kNumPrograms; ++n) {
    programs[n - 1] = new VstXSynthProgram();
    std::snprintf(programs[n - 1]->name, sizeof programs[n - 1]->name, "init%d", static_cast<int>(n));
  }
  setProgram(0);
  loadFactoryProgram();
  applyPendingEdits();  // the engine starts on program 0
  if (audioMaster != nullptr) {
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing(true);
    hasVu(false);
    hasClip(false);
    isSynth(true);
    setUniqueID(fourCharsToCode('V', 'e', 'l', 'V'));
  }
  resetEngine();
  suspend();
}

AVstXSynth::~AVstXSynth() {
  for (auto& program : programs) {
    delete program;
    program = nullptr;
  }
}

void AVstXSynth::loadFactoryProgram() {
  setProgram(1);
  char name[] = "Eth Drm";
  setProgramName(name);
  for (const ParameterInfo& p : kParameters) setParameter(p.index, p.ethDrm);
  setProgram(0);
}

void AVstXSynth::setProgram(int32_t program) {
  // The dispatcher already keeps hosts within 0..31; direct callers get the same guard.
  if (!(program >= 0 && program < kNumPrograms)) return;
  // Nothing is copied: the program's values become the live ones, and the audio thread applies
  // them all, in record order, before its next events or block.
  std::atomic_ref<int32_t>(curProgram).store(program, std::memory_order_release);
  pendingRetune.store(retuneRequest(program), std::memory_order_release);
  pendingEdits.fetch_or(kAllParams, std::memory_order_release);
}

int32_t AVstXSynth::getProgram() { return currentProgram(); }

void AVstXSynth::setProgramName(char* name) {
  if (name == nullptr) return;
  NameGuard guard(nameLock);
  // Longer names are cut to the 23 characters the record holds.
  VstXSynthProgram& program = *programs[currentProgram()];
  copyHostText(program.name, name, sizeof program.name);
}

void AVstXSynth::getProgramName(char* name) {
  NameGuard guard(nameLock);
  copyHostText(name, programs[currentProgram()]->name, kProgramNameSize);
}

void AVstXSynth::getParameterLabel(int32_t, char* label) {
  copyHostText(label, kParameterLabel, kParamTextSize);
}

void AVstXSynth::getParameterDisplay(int32_t index, char* text) {
  if (text == nullptr) return;
  text[0] = '\0';
  if (!isParamIndex(index)) return;
  char full[kFixedTextMax];
  floatToFixedText(getParameter(index), full);
  // Values far outside 0..1 would overflow the host's 8 bytes: their text is cut.
  copyHostText(text, full, kParamTextSize);
}

void AVstXSynth::getParameterName(int32_t index, char* text) {
  if (text == nullptr) return;
  text[0] = '\0';
  if (isParamIndex(index)) copyHostText(text, kParameters[index].name, kParamTextSize);
}

void AVstXSynth::setParameter(int32_t index, float value) {
  if (!isParamIndex(index)) return;
  // The live values are those of the current program: the edit lands in the program current
  // now, and only there.
  const int32_t program = currentProgram();
  programs[program]->setSharedValue(index, value);
  if (index == kFB1 || index == kFB2)
    pendingRetune.store(retuneRequest(program), std::memory_order_release);
  pendingEdits.fetch_or(1u << index, std::memory_order_release);
}

float AVstXSynth::getParameter(int32_t index) {
  return isParamIndex(index) ? programs[currentProgram()]->sharedValue(index) : 0.0f;
}

bool AVstXSynth::getOutputProperties(int32_t index, VstPinProperties* properties) {
  if (index >= 2 || properties == nullptr) return false;
  char label[kPinLabelSize];
  std::snprintf(label, sizeof label, "Orin %d", static_cast<int>(index) + 1);
  copyHostText(properties->label, label, kPinLabelSize);
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

bool AVstXSynth::getProgramNameIndexed(int32_t, int32_t index, char* text) {
  if (!(index >= 0 && index < kNumPrograms) || text == nullptr) return false;
  NameGuard guard(nameLock);
  copyHostText(text, programs[index]->name, kProgramNameSize);
  return true;
}

bool AVstXSynth::copyProgram(int32_t destination) {
  if (!(destination >= 0 && destination < kNumPrograms)) return false;
  const int32_t source = currentProgram();
  if (destination == source) return true;
  NameGuard guard(nameLock);
  programs[destination]->copyFrom(*programs[source]);
  return true;
}

bool AVstXSynth::getEffectName(char* text) {
  copyHostText(text, "VelaOrin", kEffectNameSize);
  return true;
}

bool AVstXSynth::getVendorString(char* text) {
  copyHostText(text, "Dravnik", kVendorTextSize);
  return true;
}

bool AVstXSynth::getProductString(char* text) {
  copyHostText(text, "Vela First Synth", kVendorTextSize);
  return true;
}

int32_t AVstXSynth::getVendorVersion() { return 1; }

intptr_t AVstXSynth::canDo(char* text) {
  if (text == nullptr) return -1;
  if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
    return 1;
  return -1;
}

void AVstXSynth::setBlockSize(int32_t newBlockSize) { AudioEffectX::setBlockSize(newBlockSize); }

void AVstXSynth::resume() { wantEvents(1); }
