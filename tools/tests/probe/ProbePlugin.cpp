// A tiny instrument for testing hosts: it turns each MIDI event into a marker sample at the
// event's deltaFrames, so a rendered file shows where every event landed, and it logs every call
// to the file named by VELA_PROBE_LOG.
//
// Left channel:  "Offset" on every sample, plus Level * key / 128 at each note-on.
// Right channel: 0.125 * program on every sample, plus 0.5 at each note-off.
// Outputs are added into, like VelaOrin does, so a host that does not clear them is caught.
// An event whose deltaFrames is outside the block it arrived for writes -1 into both channels.
// VELA_PROBE_DELAY_MS slows every render call down, for tests that stop a render halfway.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "DAEffectX.h"

namespace {

constexpr int kParams = 2;
constexpr int kPrograms = 3;
constexpr int kMaxPending = 1024;
const char* const kParamNames[kParams] = {"Level", "Offset"};
const char* const kProgramNames[kPrograms] = {"Zero", "One", "Two"};

struct Probe {
  AEffect effect{};
  float params[kParams] = {1.0f, 0.0f};
  int program = 0;
  VstMidiEvent pending[kMaxPending];
  int pendingCount = 0;
  FILE* log = nullptr;
  unsigned delayMs = 0;
};

Probe* probeOf(AEffect* effect) {
  return static_cast<Probe*>(effect->object);
}

void logLine(Probe* probe, const char* format, double a = 0, double b = 0) {
  if (probe->log == nullptr) return;
  std::fprintf(probe->log, format, a, b);
  std::fputc('\n', probe->log);
  std::fflush(probe->log);
}

void copy(void* ptr, const char* text, size_t size) {
  std::strncpy(static_cast<char*>(ptr), text, size - 1);
  static_cast<char*>(ptr)[size - 1] = '\0';
}

intptr_t dispatcher(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                    float opt) {
  Probe* probe = probeOf(effect);
  switch (opcode) {
    case effOpen:
      logLine(probe, "open");
      return 0;
    case effClose:
      logLine(probe, "close");
      if (probe->log != nullptr) std::fclose(probe->log);
      delete probe;
      return 1;
    case effSetProgram:
      if (value >= 0 && value < kPrograms) probe->program = static_cast<int>(value);
      logLine(probe, "program %.0f", static_cast<double>(value));
      return 0;
    case effGetProgram:
      return probe->program;
    case effGetProgramName:
      copy(ptr, kProgramNames[probe->program], kProgramNameSize);
      return 0;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= kPrograms) return 0;
      copy(ptr, kProgramNames[index], kProgramNameSize);
      return 1;
    case effGetParamName:
      if (index >= 0 && index < kParams) copy(ptr, kParamNames[index], kParamTextSize);
      return 0;
    case effGetParamLabel:
      copy(ptr, "x", kParamTextSize);
      return 0;
    case effGetParamDisplay:
      if (index >= 0 && index < kParams)
        std::snprintf(static_cast<char*>(ptr), kParamTextSize, "%.2f",
                      static_cast<double>(probe->params[index]));
      return 0;
    case effSetSampleRate:
      logLine(probe, "rate %.0f", static_cast<double>(opt));
      return 0;
    case effSetBlockSize:
      logLine(probe, "block %.0f", static_cast<double>(value));
      return 0;
    case effMainsChanged:
      logLine(probe, "mains %.0f", static_cast<double>(value));
      return 0;
    case effProcessEvents: {
      auto* events = static_cast<VstEvents*>(ptr);
      logLine(probe, "events %.0f", events->numEvents);
      for (int32_t i = 0; i < events->numEvents && probe->pendingCount < kMaxPending; ++i) {
        VstEvent* event = events->events[i];
        if (event->type == kVstMidiType)
          probe->pending[probe->pendingCount++] = *reinterpret_cast<VstMidiEvent*>(event);
      }
      return 1;
    }
    case effGetEffectName:
      copy(ptr, "Probe", kEffectNameSize);
      return 1;
    case effGetVendorString:
      copy(ptr, "Test", kVendorTextSize);
      return 1;
    case effGetProductString:
      copy(ptr, "Render probe", kVendorTextSize);
      return 1;
    case effCanDo:
      return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? 1 : -1;
    default:
      return 0;
  }
}

void addInto(AEffect* effect, float** outputs, int32_t frames) {
  Probe* probe = probeOf(effect);
  logLine(probe, "process %.0f", frames);
  if (probe->delayMs > 0) usleep(probe->delayMs * 1000);
  for (int32_t i = 0; i < frames; ++i) {
    outputs[0][i] += probe->params[1];
    outputs[1][i] += 0.125f * static_cast<float>(probe->program);
  }
  for (int i = 0; i < probe->pendingCount; ++i) {
    const VstMidiEvent& event = probe->pending[i];
    const int32_t at = event.deltaFrames;
    if (at < 0 || at >= frames) {
      outputs[0][0] = outputs[1][0] = -1.0f;
      continue;
    }
    const int status = static_cast<unsigned char>(event.midiData[0]) & 0xF0;
    const int key = event.midiData[1] & 0x7F;
    const int velocity = event.midiData[2] & 0x7F;
    if (status == 0x90 && velocity > 0)
      outputs[0][at] += probe->params[0] * static_cast<float>(key) / 128.0f;
    else if (status == 0x80 || status == 0x90)
      outputs[1][at] += 0.5f;
  }
  probe->pendingCount = 0;
}

void process(AEffect* effect, float**, float** outputs, int32_t frames) {
  addInto(effect, outputs, frames);
}

void setParameter(AEffect* effect, int32_t index, float value) {
  Probe* probe = probeOf(effect);
  if (index >= 0 && index < kParams) probe->params[index] = value;
  logLine(probe, "param %.0f %.6f", index, static_cast<double>(value));
}

float getParameter(AEffect* effect, int32_t index) {
  return index >= 0 && index < kParams ? probeOf(effect)->params[index] : 0.0f;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(
    audioMasterCallback master) {
  const intptr_t version = master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
  if (version == 0) return nullptr;
  auto* probe = new Probe;
  if (const char* path = std::getenv("VELA_PROBE_LOG")) probe->log = std::fopen(path, "a");
  if (const char* delay = std::getenv("VELA_PROBE_DELAY_MS"))
    probe->delayMs = static_cast<unsigned>(std::strtoul(delay, nullptr, 10));
  logLine(probe, "version %.0f", static_cast<double>(version));
  AEffect& effect = probe->effect;
  effect.magic = kEffectMagic;
  effect.dispatcher = dispatcher;
  effect.process = process;
  effect.processReplacing = process;
  effect.setParameter = setParameter;
  effect.getParameter = getParameter;
  effect.numPrograms = kPrograms;
  effect.numParams = kParams;
  effect.numInputs = 0;
  effect.numOutputs = 2;
  effect.flags = effFlagsCanReplacing | effFlagsIsSynth;
  effect.object = probe;
  effect.uniqueID = 0x50726f62;
  return &effect;
}
