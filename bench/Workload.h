// The rendering workload the benchmarks time, in each plug-in format: the built plug-in opened
// like a host would, one program selected, and a new note every block so that one note is held
// while the previous one releases; optionally an event every `eventSpacing` samples that sounds
// the same but cuts the block at each event (each format says which).
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

  virtual ~Workload() = default;
  Workload(const Workload&) = delete;
  Workload& operator=(const Workload&) = delete;

  virtual bool ready() const = 0;
  const std::string& error() const { return error_; }
  virtual std::string programName() = 0;
  // One block: a note-on at offset 0 (which releases the other note), the events, then the
  // rendering.
  virtual void renderBlock() = 0;
  // Voices rendered per block once warmed up: the new note for the whole block, the released
  // one for as long as its release lasts (its first sample, the release, the ending sample).
  int64_t voiceSamplesPerBlock() const { return voiceSamplesPerBlock_; }
  // A value from the last block, so the compiler cannot drop the rendering.
  float lastSample() const { return left_[kBlockSize - 1]; }

 protected:
  // A short phrase over two octaves, so pitches and filter cutoffs keep changing; MIDI velocity.
  static constexpr uint8_t kNotes[] = {48, 55, 60, 64, 67, 72, 76, 79,
                                       84, 79, 76, 72, 67, 64, 60, 55};
  static constexpr uint8_t kVelocity = 100;

  explicit Workload(int32_t eventSpacing);
  // Where this block's note is in the phrase, and its key (the next block plays the next one).
  int32_t phrasePlace() const { return noteIndex_; }
  uint8_t nextKey();
  // Once the instance runs, with "R" at `release` (0..1): the voice samples per block, then the
  // two blocks that reach the steady state (one note held, the previous one releasing).
  void warmUp(double release);

  int32_t eventSpacing_ = 0;
  std::vector<float> left_, right_;
  std::string error_;

 private:
  int32_t noteIndex_ = 0;
  int64_t voiceSamplesPerBlock_ = 0;
};

// Through VelaOrin.so's (VelaOrin.dll's) VST 2 entry point; the events are centred pitch bends.
class Vst2Workload final : public Workload {
 public:
  // program: the plug-in's program number (1 is "Eth Drm"); eventSpacing 0: no bends.
  Vst2Workload(const std::string& pluginPath, int32_t program, int32_t eventSpacing = 0);
  ~Vst2Workload() override;

  bool ready() const override { return effect_ != nullptr; }
  std::string programName() override;
  void renderBlock() override;

 private:
  PluginLibrary library_;
  AEffect* effect_ = nullptr;
  HostEventList events_{kBlockSize + 1};
};
