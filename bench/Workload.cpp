#include "Workload.h"

#include <cmath>

#if defined(_WIN32)
#include <windows.h>
#else
#include <ctime>
#endif

namespace {

// The plug-in asks for the host version before it creates an instance; nothing else matters.
intptr_t VELA_CDECL benchHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

intptr_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// A short phrase over two octaves, so pitches and filter cutoffs keep changing.
constexpr uint8_t kNotes[] = {48, 55, 60, 64, 67, 72, 76, 79, 84, 79, 76, 72, 67, 64, 60, 55};
constexpr uint8_t kVelocity = 100;

}  // namespace

double threadCpuSeconds() {
#if defined(_WIN32)
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
  auto ticks = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) * 100e-9;  // 100 ns units
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

Workload::Workload(const std::string& pluginPath, int32_t program)
    : library_(pluginPath), left_(kBlockSize), right_(kBlockSize) {
  if (!library_.loaded()) {
    error_ = "cannot open " + pluginPath + ": " + library_.error();
    return;
  }
  PluginEntry entry = library_.hostEntry();
  AEffect* effect = entry != nullptr ? entry(&benchHost) : nullptr;
  if (effect == nullptr || effect->magic != kEffectMagic) {
    error_ = "no instance from " + pluginPath;
    return;
  }
  effect_ = effect;
  dispatch(effect_, effOpen);
  dispatch(effect_, effSetSampleRate, 0, 0, nullptr, kSampleRate);
  dispatch(effect_, effSetBlockSize, 0, kBlockSize);
  dispatch(effect_, effSetProgram, 0, program);
  dispatch(effect_, effMainsChanged, 0, 1);

  // The release length follows "R" (index 7) as the engine maps it: round(R^2 * rate) + 10.
  const double r = effect_->getParameter(effect_, 7);
  const auto release = static_cast<int64_t>(std::nearbyint(r * r * kSampleRate)) + 10;
  voiceSamplesPerBlock_ = kBlockSize + (release + 2 < kBlockSize ? release + 2 : kBlockSize);

  // Two blocks reach the steady state: one note held, the previous one releasing.
  renderBlock();
  renderBlock();
}

Workload::~Workload() {
  if (effect_ == nullptr) return;
  dispatch(effect_, effMainsChanged, 0, 0);
  dispatch(effect_, effClose);
}

std::string Workload::programName() {
  char name[64] = {};  // names are at most 24 bytes; hosts give more room
  dispatch(effect_, effGetProgramName, 0, 0, name);
  return name;
}

void Workload::renderBlock() {
  events_.clear();
  events_.addMidi(0, 0x90, kNotes[noteIndex_], kVelocity);
  noteIndex_ = (noteIndex_ + 1) % static_cast<int32_t>(std::size(kNotes));
  dispatch(effect_, effProcessEvents, 0, 0, events_.events());
  float* outputs[2] = {left_.data(), right_.data()};
  effect_->processReplacing(effect_, nullptr, outputs, kBlockSize);
}
