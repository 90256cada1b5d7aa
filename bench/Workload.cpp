#include "Workload.h"

#include <cmath>
#include <cstdio>
#include <iterator>

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

// The first line of a text file, without its line end; empty if it cannot be read.
std::string firstLine(const std::string& path) {
#if defined(_WIN32)
  const std::string native = "Z:" + path;  // Wine maps the Unix root to Z:
#else
  const std::string& native = path;
#endif
  std::FILE* file = std::fopen(native.c_str(), "r");
  if (file == nullptr) return {};
  char line[256] = {};
  std::string text = std::fgets(line, sizeof line, file) != nullptr ? line : "";
  std::fclose(file);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string processorModel() {
#if defined(_WIN32)
  std::FILE* file = std::fopen("Z:/proc/cpuinfo", "r");
#else
  std::FILE* file = std::fopen("/proc/cpuinfo", "r");
#endif
  if (file == nullptr) return "unknown processor";
  std::string model = "unknown processor";
  char line[512];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    const std::string text = line;
    if (text.rfind("model name", 0) != 0) continue;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) continue;
    model = text.substr(text.find_first_not_of(" \t", colon + 1));
    while (!model.empty() && (model.back() == '\n' || model.back() == ' ')) model.pop_back();
    break;
  }
  std::fclose(file);
  return model;
}

}  // namespace

std::string machineDescription() {
  std::string text = processorModel();
  const std::string base = "/sys/devices/system/cpu/cpu0/cache/index";
  const char* separator = "; L";
  for (int index = 0; index < 8; ++index) {
    const std::string dir = base + std::to_string(index) + "/";
    const std::string level = firstLine(dir + "level");
    const std::string size = firstLine(dir + "size");
    if (level.empty() || size.empty()) continue;
    const std::string type = firstLine(dir + "type");
    const char* kind = type == "Data" ? "d" : (type == "Instruction" ? "i" : "");
    text += separator + level + kind + " " + size;
    separator = ", L";
  }
  return text;
}

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

Workload::Workload(int32_t eventSpacing)
    : eventSpacing_(eventSpacing), left_(kBlockSize), right_(kBlockSize) {}

uint8_t Workload::nextKey() {
  const uint8_t key = kNotes[noteIndex_];
  noteIndex_ = (noteIndex_ + 1) % static_cast<int32_t>(std::size(kNotes));
  return key;
}

void Workload::warmUp(double release) {
  // The release length follows "R" as the engine maps it: round(R^2 * rate) + 10.
  const auto samples = static_cast<int64_t>(std::nearbyint(release * release * kSampleRate)) + 10;
  voiceSamplesPerBlock_ = kBlockSize + (samples + 2 < kBlockSize ? samples + 2 : kBlockSize);
  renderBlock();
  renderBlock();
}

Vst2Workload::Vst2Workload(const std::string& pluginPath, int32_t program, int32_t eventSpacing)
    : Workload(eventSpacing), library_(pluginPath) {
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
  warmUp(effect_->getParameter(effect_, 7));  // "R"
}

Vst2Workload::~Vst2Workload() {
  if (effect_ == nullptr) return;
  dispatch(effect_, effMainsChanged, 0, 0);
  dispatch(effect_, effClose);
}

std::string Vst2Workload::programName() {
  char name[64] = {};  // names are at most 24 bytes; hosts give more room
  dispatch(effect_, effGetProgramName, 0, 0, name);
  return name;
}

void Vst2Workload::renderBlock() {
  events_.clear();
  events_.addMidi(0, 0x90, nextKey(), kVelocity);
  if (eventSpacing_ > 0)
    for (int32_t at = eventSpacing_; at < kBlockSize; at += eventSpacing_)
      events_.addMidi(at, 0xE0, 0, 64);
  dispatch(effect_, effProcessEvents, 0, 0, events_.events());
  float* outputs[2] = {left_.data(), right_.data()};
  effect_->processReplacing(effect_, nullptr, outputs, kBlockSize);
}
