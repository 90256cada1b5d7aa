// The rendering workload the benchmarks time: the built plug-in opened through its entry point
// like a host would, one program selected, and a new note every block so that one note is held
// while the previous one releases; optionally a centred pitch bend every `eventSpacing` samples,
// which sounds the same but cuts the block at each event.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "HostEventList.h"
#include "PluginLibrary.h"

// Processor time used by the calling thread so far, in seconds: other load on the machine does
// not count against the plug-in.
double threadCpuSeconds();

// The processor and its caches, as one line ("AMD EPYC; L1d 32K, L1i 32K, L2 512K, L3 32768K"),
// from /proc/cpuinfo and /sys/devices/system/cpu/cpu0/cache (through Wine's Z: drive on Windows
// builds). Every speed figure is printed with it: the sine reads make the figures depend on the
// cache sizes.
std::string machineDescription();

class Workload {
 public:
  static constexpr float kSampleRate = 44100.0f;
  static constexpr int32_t kBlockSize = 512;

  // program: the plug-in's program number (1 is "Eth Drm"); eventSpacing 0: no bends.
  Workload(const std::string& pluginPath, int32_t program, int32_t eventSpacing = 0);
  ~Workload();
  Workload(const Workload&) = delete;
  Workload& operator=(const Workload&) = delete;

  bool ready() const { return effect_ != nullptr; }
  const std::string& error() const { return error_; }
  std::string programName();

  // One block: a note-on at offset 0 (which releases the other note), the bends, then
  // processReplacing.
  void renderBlock();
  // Voices rendered per block once warmed up: the new note for the whole block, the released
  // one for as long as its release lasts (its first sample, the release, the ending sample).
  int64_t voiceSamplesPerBlock() const { return voiceSamplesPerBlock_; }
  // A value from the last block, so the compiler cannot drop the rendering.
  float lastSample() const { return left_[kBlockSize - 1]; }

 private:
  PluginLibrary library_;
  AEffect* effect_ = nullptr;
  HostEventList events_{kBlockSize + 1};
  int32_t eventSpacing_ = 0;
  std::vector<float> left_, right_;
  int32_t noteIndex_ = 0;
  int64_t voiceSamplesPerBlock_ = 0;
  std::string error_;
};
