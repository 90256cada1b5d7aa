#include "uVSTXSynth.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "DVstUtils.h"
#include "VelaIdentity.h"
#include "VelaVendorCalls.h"

namespace {

bool isParamIndex(int32_t index) { return static_cast<uint32_t>(index) < kNumParams; }

}  // namespace

AVstXSynth::AVstXSynth(audioMasterCallback master) : AudioEffectX(master, kNumPrograms, kNumParams) {
  // The bank starts with "Eth Drm" in program 1 and program 0 current, already applied.
  if (audioMaster != nullptr) {
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing(true);
    hasVu(false);
    hasClip(false);
    isSynth(true);
    setUniqueID(vela::identity::kIdentifierCode);
  }
  suspend();
}

AVstXSynth::~AVstXSynth() = default;

int32_t AVstXSynth::processEvents(VstEvents* events) {
  if (events == nullptr) return 1;
  VstEvent* const* list = events->events;  // hosts allocate numEvents entries behind the record
  const int32_t count = events->numEvents;
  for (int32_t i = 0; i < count; ++i) {
    const VstEvent* event = list[i];
    if (event == nullptr || event->type != kVstMidiType) continue;
    VstMidiEvent midi;
    std::memcpy(&midi, event, sizeof midi);
    // Messages the engine does not play are skipped; past the queue's capacity the rest of the
    // list is dropped.
    instrument.queueMidi(midi.deltaFrames, static_cast<uint8_t>(midi.midiData[0]),
                         static_cast<uint8_t>(midi.midiData[1]),
                         static_cast<uint8_t>(midi.midiData[2]));
  }
  return 1;
}

void AVstXSynth::processReplacing(float**, float** outputs, int32_t sampleFrames) {
  instrument.processReplacing(outputs != nullptr ? outputs[0] : nullptr,
                              outputs != nullptr ? outputs[1] : nullptr, sampleFrames);
}

void AVstXSynth::process(float**, float** outputs, int32_t sampleFrames) {
  instrument.process(outputs != nullptr ? outputs[0] : nullptr,
                     outputs != nullptr ? outputs[1] : nullptr, sampleFrames);
}

void AVstXSynth::setSampleRate(float newSampleRate) {
  // Rates that are not positive finite numbers are ignored.
  if (!instrument.setSampleRate(newSampleRate)) return;
  AudioEffectX::setSampleRate(newSampleRate);
}

void AVstXSynth::setBlockSize(int32_t newBlockSize) { AudioEffectX::setBlockSize(newBlockSize); }

void AVstXSynth::setParameter(int32_t index, float value) {
  instrument.bank().setParameter(index, value);
}

float AVstXSynth::getParameter(int32_t index) { return instrument.bank().getParameter(index); }

void AVstXSynth::setProgram(int32_t program) {
  instrument.bank().setProgram(program);
}

int32_t AVstXSynth::getProgram() { return instrument.bank().getProgram(); }

void AVstXSynth::setProgramName(char* name) { instrument.bank().setProgramName(name); }

void AVstXSynth::getProgramName(char* name) {
  instrument.bank().getProgramName(name, kProgramNameSize);
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

bool AVstXSynth::getOutputProperties(int32_t index, VstPinProperties* properties) {
  if (index >= 2 || properties == nullptr) return false;
  char label[kPinLabelSize];
  std::snprintf(label, sizeof label, "Orin %d", static_cast<int>(index) + 1);
  copyHostText(properties->label, label, kPinLabelSize);
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

bool AVstXSynth::getProgramNameIndexed(int32_t, int32_t index, char* text) {
  return instrument.bank().getProgramNameIndexed(index, text, kProgramNameSize);
}

bool AVstXSynth::copyProgram(int32_t destination) {
  return instrument.bank().copyProgram(destination);
}

bool AVstXSynth::getEffectName(char* text) {
  copyHostText(text, vela::identity::kName, kEffectNameSize);
  return true;
}

bool AVstXSynth::getVendorString(char* text) {
  copyHostText(text, vela::identity::kVendor, kVendorTextSize);
  return true;
}

bool AVstXSynth::getProductString(char* text) {
  copyHostText(text, vela::identity::kProduct, kVendorTextSize);
  return true;
}

int32_t AVstXSynth::getVendorVersion() { return vela::identity::kVendorVersion; }

intptr_t AVstXSynth::canDo(char* text) {
  if (text == nullptr) return -1;
  if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
    return 1;
  return -1;
}

void AVstXSynth::resume() { wantEvents(1); }

intptr_t AVstXSynth::vendorSpecific(int32_t index, intptr_t value, void* ptr, float) {
  using namespace vela::vendor;
  if (index != kVendorIndex || value != kSetTuning || ptr == nullptr) return 0;
  auto* record = static_cast<TuningRecord*>(ptr);
  if (record->recordSize != sizeof(TuningRecord)) return -1;
  TuningFiles files;
  std::string error;
  if (!decodeTuning(record->bytes, record->byteCount, files, &error) ||
      !instrument.setTuning(files, &error)) {
    copyHostText(record->error, error.c_str(), sizeof record->error);
    return -1;
  }
  record->error[0] = '\0';
  return 1;
}
