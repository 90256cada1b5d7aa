// The benchmark workload through VelaOrin.vst3: the same notes, program and bends as Workload,
// delivered as a VST 3 host delivers them (note events, the program parameter, points of the
// mapped pitch-bend parameter) to the component, loaded by our VST 3 test host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Vst3TestHost.h"

class Vst3Workload {
 public:
  static constexpr float kSampleRate = 44100.0f;
  static constexpr int32_t kBlockSize = 512;

  // The bundle's binary; program and event spacing as for Workload.
  Vst3Workload(const std::string& binaryPath, int32_t program, int32_t eventSpacing = 0);

  bool ready() const { return synth_ != nullptr && synth_->ok(); }
  const std::string& error() const { return error_; }
  std::string programName();
  void renderBlock();
  int64_t voiceSamplesPerBlock() const { return voiceSamplesPerBlock_; }
  float lastSample() const { return left_[kBlockSize - 1]; }

 private:
  vst3host::Module module_;
  std::unique_ptr<vst3host::Synth> synth_;
  int32_t eventSpacing_ = 0;
  std::vector<float> left_, right_;
  int32_t noteIndex_ = 0;
  int64_t voiceSamplesPerBlock_ = 0;
  std::string error_;
};

// Whether a plug-in path names VelaOrin.vst3 (the bundle or its binary) rather than VelaOrin.so.
bool isVst3Path(const std::string& path);
// The binary inside a bundle path (a path that is already the binary stays as it is).
std::string vst3BinaryOf(const std::string& path);
