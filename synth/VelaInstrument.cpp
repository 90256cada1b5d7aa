#include "VelaInstrument.h"

#include "FrameOrder.h"

VelaInstrument::VelaInstrument() { beginBlock(); }

void VelaInstrument::beginBlock() {
  programs.applyPending(*this);
  // From no tuning to no tuning is no change: the voices are left as they are.
  const TuningTable* table = nullptr;
  if (tunings.take(table) && (table->active || VelaEngine::tuning != nullptr))
    useTuning(table->active ? table : nullptr);
}

namespace {

size_t bankBytes() {
  static const size_t size = encodeBank(BankImage{}).size();
  return size;
}

}  // namespace

std::vector<uint8_t> VelaInstrument::saveState() const {
  std::vector<uint8_t> bytes = encodeBank(programs.bankImage());
  if (const TuningFiles files = tuning(); !files.isDefault()) {
    const std::vector<uint8_t> tuningBytes = encodeTuning(files);
    bytes.insert(bytes.end(), tuningBytes.begin(), tuningBytes.end());
  }
  return bytes;
}

bool VelaInstrument::restoreState(const uint8_t* data, size_t size, std::string* error) {
  BankImage image{};
  TuningFiles files;
  const size_t bank = size < bankBytes() ? size : bankBytes();
  if (data == nullptr || !decodeBank(data, bank, image, error) ||
      (size > bank && !decodeTuning(data + bank, size - bank, files, error)) ||
      !setTuning(files, error))
    return false;
  programs.restoreBank(image);
  return true;
}

size_t VelaInstrument::maxStateBytes() { return bankBytes() + maxTuningBytes(); }

bool VelaInstrument::queueMidi(int32_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  EngineEvent event;
  return engineEventFromMidi(frame, status, data1, data2, event) && queueEvent(event);
}

bool VelaInstrument::queueParameter(int32_t frame, int32_t index, float value) {
  if (static_cast<uint32_t>(index) >= kNumParams || parameterCount >= kParameterChangeCapacity)
    return false;
  parameters[parameterCount++] = {frame < 0 ? 0 : frame, index, value, false};
  return true;
}

bool VelaInstrument::queueModulation(int32_t frame, int32_t index, float amount) {
  if (static_cast<uint32_t>(index) >= kNumParams || parameterCount >= kParameterChangeCapacity)
    return false;
  parameters[parameterCount++] = {frame < 0 ? 0 : frame, index, amount, true};
  return true;
}

void VelaInstrument::reset() {
  resetEngine();
  for (int32_t& tag : voiceTag) tag = 0;
  voiceEndTotal = 0;
  parameterCount = 0;
}

void VelaInstrument::clearEvents() {
  VelaEngine::clearEvents();
  parameterCount = 0;
}

void VelaInstrument::processReplacing(float* left, float* right, int32_t frames) {
  render(left, right, frames, true);
}

void VelaInstrument::process(float* left, float* right, int32_t frames) {
  render(left, right, frames, false);
}

void VelaInstrument::orderParameters(int32_t frames) {
  for (int32_t i = 0; i < parameterCount; ++i)
    if (parameters[i].frame >= frames) parameters[i].frame = frames - 1;
  orderByFrame(parameters, parameterScratch, parameterCount);
}

void VelaInstrument::applyParameters(int32_t first, int32_t end) {
  // Made together, as a host makes them between two blocks, and applied as one block start.
  for (int32_t i = first; i < end; ++i) {
    const ParameterChange& change = parameters[i];
    if (change.modulation)
      programs.setModulation(change.index, change.value);
    else
      programs.setParameter(change.index, change.value);
  }
  programs.applyPending(*this);
}

void VelaInstrument::render(float* left, float* right, int32_t frames, bool replace) {
  beginBlock();
  if (left == nullptr || right == nullptr || frames <= 0) {
    voiceEndTotal = 0;
    applyParameters(0, parameterCount);
    parameterCount = 0;
    return;
  }
  if (parameterCount == 0) {
    if (replace)
      VelaEngine::processReplacing(left, right, frames);
    else
      VelaEngine::process(left, right, frames);
    return;
  }
  orderParameters(frames);
  beginParts(frames);
  int32_t done = 0;
  for (int32_t i = 0; i < parameterCount;) {
    const int32_t frame = parameters[i].frame;
    int32_t end = i + 1;
    while (end < parameterCount && parameters[end].frame == frame) ++end;
    renderPart(left, right, done, frame, replace);
    done = frame;
    applyParameters(i, end);
    i = end;
  }
  renderPart(left, right, done, frames, replace);
  endParts();
  parameterCount = 0;
}
