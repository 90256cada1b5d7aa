// The benchmark workload (Workload.h) through VelaOrin.clap, opened by our CLAP test host: the
// same notes as CLAP note events, the program chosen through a state of the bank, and optionally
// a parameter value event every `eventSpacing` samples ("CutOff" set to the value it has).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ClapTestHost.h"
#include "Workload.h"

class ClapWorkload final : public Workload {
 public:
  ClapWorkload(const std::string& pluginPath, int32_t program, int32_t eventSpacing = 0);
  ~ClapWorkload() override;

  bool ready() const override { return plugin_ != nullptr; }
  std::string programName() override;
  void renderBlock() override;

 private:
  ClapModule module_;
  const clapi::clap_plugin* plugin_ = nullptr;
  clapi::clap_host host_{};
  int32_t program_ = 0;
  double cutoff_ = 0.0;
  std::vector<clapi::clap_event_note> notes_;
  std::vector<clapi::clap_event_param_value> values_;
  std::vector<const clapi::clap_event_header*> events_;
};
