// The benchmark workload (Workload.h) through VelaOrin.clap: the same notes as CLAP note events,
// the program chosen through a state of the bank, and optionally a parameter value event every
// `eventSpacing` samples ("CutOff" set to the value it has: it sounds the same but cuts the
// block at each event).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClapInterface.h"

class ClapWorkload {
 public:
  static constexpr float kSampleRate = 44100.0f;
  static constexpr int32_t kBlockSize = 512;

  ClapWorkload(const std::string& pluginPath, int32_t program, int32_t eventSpacing = 0);
  ~ClapWorkload();
  ClapWorkload(const ClapWorkload&) = delete;
  ClapWorkload& operator=(const ClapWorkload&) = delete;

  bool ready() const { return plugin_ != nullptr; }
  const std::string& error() const { return error_; }
  std::string programName();
  void renderBlock();
  int64_t voiceSamplesPerBlock() const { return voiceSamplesPerBlock_; }
  float lastSample() const { return left_[kBlockSize - 1]; }

 private:
  void* library_ = nullptr;
  const clapi::clap_plugin_entry* entry_ = nullptr;
  const clapi::clap_plugin* plugin_ = nullptr;
  clapi::clap_host host_{};
  int32_t program_ = 0;
  int32_t eventSpacing_ = 0;
  double cutoff_ = 0.0;
  std::vector<clapi::clap_event_note> notes_;
  std::vector<clapi::clap_event_param_value> values_;
  std::vector<const clapi::clap_event_header*> events_;
  std::vector<float> left_, right_;
  int32_t noteIndex_ = 0;
  int64_t voiceSamplesPerBlock_ = 0;
  std::string error_;
};
