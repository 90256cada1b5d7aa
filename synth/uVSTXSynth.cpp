#include "uVSTXSynth.h"

#include <cstdio>
#include <cstring>

#include "DVstUtils.h"
#include "GrEditor.h"

namespace {

bool isParamIndex(int32_t index) { return static_cast<uint32_t>(index) < kNumParams; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// VstXSynthProgram

VstXSynthProgram::VstXSynthProgram() : name("Basic") {
  for (const ParameterInfo& p : kParameters) values[p.recordSlot] = p.initial;
}

void VstXSynthProgram::copyFrom(const VstXSynthProgram& other) {
  for (int32_t i = 0; i < kNumParams; ++i) valueOf(i) = other.valueOf(i);
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
  curProgram = program;
  VstXSynthProgram& stored = *programs[program];
  for (int32_t index : kReplayOrder) setParameter(index, stored.valueOf(index));
}

void AVstXSynth::setProgramName(char* name) {
  if (name == nullptr) return;
  // Longer names are cut to the 23 characters the record holds.
  copyHostText(programs[curProgram]->name, name, sizeof programs[curProgram]->name);
}

void AVstXSynth::getProgramName(char* name) {
  copyHostText(name, programs[curProgram]->name, kProgramNameSize);
}

void AVstXSynth::getParameterLabel(int32_t, char* label) {
  copyHostText(label, kParameterLabel, kParamTextSize);
}

void AVstXSynth::getParameterDisplay(int32_t index, char* text) {
  if (text == nullptr) return;
  text[0] = '\0';
  if (!isParamIndex(index)) return;
  char full[kFixedTextMax];
  floatToFixedText(liveValue(index), full);
  // Values far outside 0..1 would overflow the host's 8 bytes: their text is cut.
  copyHostText(text, full, kParamTextSize);
}

void AVstXSynth::getParameterName(int32_t index, char* text) {
  if (text == nullptr) return;
  text[0] = '\0';
  if (isParamIndex(index)) copyHostText(text, kParameters[index].name, kParamTextSize);
}

void AVstXSynth::setParameter(int32_t index, float value) {
  if (isParamIndex(index)) {
    programs[curProgram]->valueOf(index) = value;
    liveValue(index) = value;
  }
  applyParameter(index);
}

float AVstXSynth::getParameter(int32_t index) { return isParamIndex(index) ? liveValue(index) : 0.0f; }

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
  copyHostText(text, programs[index]->name, kProgramNameSize);
  return true;
}

bool AVstXSynth::copyProgram(int32_t destination) {
  if (!(destination >= 0 && destination < kNumPrograms)) return false;
  if (destination != curProgram) programs[destination]->copyFrom(*programs[curProgram]);
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
