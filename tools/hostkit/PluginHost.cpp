#include "PluginHost.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "ToolError.h"
#include "VelaIdentity.h"
#include "VelaVendorCalls.h"

namespace {

// The callback has no user pointer, so the answers it needs live here.
struct HostState {
  int32_t sampleRate = 44100;
  int32_t blockSize = 512;
  HostIdentity identity;
  std::function<bool(int32_t, int32_t)> editorResize;  // empty: the window keeps its size
  int32_t editorScaleHundredths = 0;
};
HostState hostState;

constexpr int32_t kProcessLevelRealtime = 2;
constexpr int32_t kProcessLevelOffline = 4;
constexpr int32_t kAutomationOff = 1;

void copyText(void* ptr, const char* text, size_t size) {
  if (ptr == nullptr || size == 0) return;
  std::strncpy(static_cast<char*>(ptr), text, size - 1);
  static_cast<char*>(ptr)[size - 1] = '\0';
}

// [any thread] The plug-in asks from whichever thread it is called on.
intptr_t VELA_CDECL hostCallback(AEffect*, int32_t opcode, int32_t index, intptr_t value,
                                 void* ptr, float) {
  switch (opcode) {
    case audioMasterSizeWindow:
      return hostState.editorResize &&
                     hostState.editorResize(index, static_cast<int32_t>(value))
                 ? 1
                 : 0;
    case audioMasterVendorSpecific:
      return index == kHostScaleQuestion ? hostState.editorScaleHundredths : 0;
    case audioMasterVersion:
      return PluginHost::kHostVersion;
    case audioMasterWantMidi:
      return 1;
    case audioMasterGetSampleRate:
      return hostState.sampleRate;
    case audioMasterGetBlockSize:
      return hostState.blockSize;
    case audioMasterGetCurrentProcessLevel:
      return hostState.identity.realtime ? kProcessLevelRealtime : kProcessLevelOffline;
    case audioMasterGetAutomationState:
      return kAutomationOff;
    case audioMasterGetVendorString:
      copyText(ptr, vela::identity::kName, kVendorTextSize);
      return 1;
    case audioMasterGetProductString:
      copyText(ptr, hostState.identity.product, kVendorTextSize);
      return 1;
    case audioMasterGetVendorVersion:
      return 1;
    case audioMasterCanDo: {
      const char* what = static_cast<const char*>(ptr);
      if (what == nullptr) return 0;
      if (std::strcmp(what, "offline") == 0) return hostState.identity.realtime ? -1 : 1;
      for (const char* yes : {"sendVstEvents", "sendVstMidiEvent"})
        if (std::strcmp(what, yes) == 0) return 1;
      return -1;
    }
    default:
      return 0;  // automation notices, idle, time info (none: no transport)
  }
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

PluginHost::PluginHost(const std::string& path, int32_t sampleRate, int32_t blockSize,
                       HostIdentity identity)
    : sampleRate_(sampleRate), blockSize_(blockSize) {
  if (access(path.c_str(), F_OK) != 0)
    throw ToolError("plug-in '" + path + "' not found: " + std::strerror(errno));
  // A bare file name means the one in the current folder, not a search of the library path.
  library_ = std::make_unique<PluginLibrary>(path.find('/') == std::string::npos ? "./" + path : path);
  if (!library_->loaded())
    throw ToolError("cannot load plug-in '" + path + "': " + library_->error());
  PluginEntry entry = library_->hostEntry();
  if (entry == nullptr)
    throw ToolError("'" + path + "' is not a VST 2 plug-in: no VSTPluginMain or main entry point");

  hostState = HostState{sampleRate, blockSize, identity, {}, 0};
  effect_ = entry(&hostCallback);
  if (effect_ == nullptr) throw ToolError("plug-in '" + path + "' refused to create an instance");
  if (effect_->magic != kEffectMagic) {
    effect_ = nullptr;  // not ours to close: it is not a descriptor
    throw ToolError("'" + path + "' returned something that is not a VST 2 descriptor");
  }
  if (effect_->numOutputs < 1 || effect_->numInputs < 0 || effect_->numParams < 0 ||
      effect_->numPrograms < 0) {
    dispatch(effClose);
    effect_ = nullptr;
    throw ToolError("plug-in '" + path + "' reports no audio outputs");
  }

  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  dispatch(effSetBlockSize, 0, blockSize);
}

PluginHost::~PluginHost() {
  if (effect_ == nullptr) return;
  if (running_) suspend();
  if (editorOpen_) closeEditor();
  dispatch(effClose);
  effect_ = nullptr;
}

void PluginHost::setTuning(const TuningFiles& files) {
  const std::vector<uint8_t> bytes = encodeTuning(files);
  vela::vendor::TuningRecord record{};
  record.recordSize = sizeof record;
  record.byteCount = static_cast<uint32_t>(bytes.size());
  record.bytes = bytes.data();
  const intptr_t answer =
      dispatch(effVendorSpecific, vela::vendor::kVendorIndex, vela::vendor::kSetTuning, &record);
  record.error[sizeof record.error - 1] = '\0';
  if (answer == -1) throw ToolError(std::string("the plug-in refused the tuning: ") + record.error);
  if (answer != 1)
    throw ToolError(effectName() + " takes no tuning: it is not VelaOrin, or an older one");
}

intptr_t PluginHost::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                              float opt) const {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::text(int32_t opcode, int32_t index, size_t size) const {
  // Generous room and a forced terminator: plug-ins are known to overrun the published sizes.
  std::vector<char> buffer(std::max<size_t>(size, 256) + 1, '\0');
  dispatch(opcode, index, 0, buffer.data());
  buffer.back() = '\0';
  return std::string(buffer.data());
}

std::string PluginHost::effectName() const {
  return text(effGetEffectName, 0, kEffectNameSize);
}
std::string PluginHost::vendorString() const {
  return text(effGetVendorString, 0, kVendorTextSize);
}
std::string PluginHost::productString() const {
  return text(effGetProductString, 0, kVendorTextSize);
}

int32_t PluginHost::currentProgram() const {
  return static_cast<int32_t>(dispatch(effGetProgram));
}

std::string PluginHost::programName(int32_t program) const {
  return text(effGetProgramNameIndexed, program, kProgramNameSize);
}

HostParameter PluginHost::parameter(int32_t index) const {
  HostParameter info;
  info.index = index;
  info.name = text(effGetParamName, index, kParamTextSize);
  info.label = text(effGetParamLabel, index, kParamTextSize);
  info.display = text(effGetParamDisplay, index, kParamTextSize);
  info.value = effect_->getParameter(effect_, index);
  return info;
}

int32_t PluginHost::findParameter(const std::string& name) const {
  int32_t caseless = -1;
  int caselessMatches = 0;
  for (int32_t i = 0; i < numParameters(); ++i) {
    const std::string candidate = text(effGetParamName, i, kParamTextSize);
    if (candidate == name) return i;
    if (lowered(candidate) == lowered(name)) {
      caseless = i;
      ++caselessMatches;
    }
  }
  return caselessMatches == 1 ? caseless : -1;
}

void PluginHost::selectProgram(int32_t program) {
  if (program < 0 || program >= numPrograms())
    throw ToolError("program " + std::to_string(program) + " does not exist; the plug-in has " +
                    std::to_string(numPrograms()) + " (0 to " + std::to_string(numPrograms() - 1) +
                    ")");
  dispatch(effSetProgram, 0, program);
}

void PluginHost::setParameter(int32_t index, float value) {
  effect_->setParameter(effect_, index, value);
}

float PluginHost::parameterValue(int32_t index) const {
  return effect_->getParameter(effect_, index);
}

void PluginHost::setProgramName(int32_t program, const std::string& name) {
  selectProgram(program);
  std::vector<char> buffer(kProgramNameSize, '\0');
  std::strncpy(buffer.data(), name.c_str(), buffer.size() - 1);
  dispatch(effSetProgramName, 0, 0, buffer.data());
}

void PluginHost::setSampleRate(int32_t sampleRate) {
  sampleRate_ = hostState.sampleRate = sampleRate;
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
}

void PluginHost::setBlockSize(int32_t blockSize) {
  blockSize_ = hostState.blockSize = blockSize;
  dispatch(effSetBlockSize, 0, blockSize);
}

bool PluginHost::editorSize(int32_t& width, int32_t& height) const {
  ERect* rect = nullptr;
  if (!hasEditor() || dispatch(effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) return false;
  width = rect->right - rect->left;
  height = rect->bottom - rect->top;
  return width > 0 && height > 0;
}

bool PluginHost::openEditor(void* parent) {
  if (!hasEditor() || editorOpen_) return editorOpen_;
  editorOpen_ = dispatch(effEditOpen, 0, 0, parent) != 0;
  return editorOpen_;
}

void PluginHost::onEditorResize(std::function<bool(int32_t width, int32_t height)> handler) {
  hostState.editorResize = std::move(handler);
}

void PluginHost::setEditorScale(double scale) {
  hostState.editorScaleHundredths = static_cast<int32_t>(std::lround(std::max(scale, 0.0) * 100.0));
}

void PluginHost::idleEditor() {
  if (editorOpen_) dispatch(effEditIdle);
}

void PluginHost::closeEditor() {
  if (!editorOpen_) return;
  dispatch(effEditClose);
  editorOpen_ = false;
}

void PluginHost::resume() {
  if (running_) return;
  dispatch(effMainsChanged, 0, 1);
  running_ = true;
}

void PluginHost::suspend() {
  if (!running_) return;
  dispatch(effMainsChanged, 0, 0);
  running_ = false;
}

void PluginHost::processEvents(VstEvents* events) {
  lastEventsAnswer_ = dispatch(effProcessEvents, 0, 0, events);
}

void PluginHost::render(float** inputs, float** outputs, int32_t frames) {
  if ((effect_->flags & effFlagsCanReplacing) != 0 && effect_->processReplacing != nullptr)
    effect_->processReplacing(effect_, inputs, outputs, frames);
  else
    effect_->process(effect_, inputs, outputs, frames);
}
