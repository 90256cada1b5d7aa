// The benchmark workload (Workload.h) through VelaOrin.vst3: the same notes, program and bends
// as Vst2Workload, delivered as a VST 3 host delivers them (note events, the program parameter,
// points of the mapped pitch-bend parameter) to the component, loaded by our VST 3 test host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Vst3TestHost.h"
#include "Workload.h"

class Vst3Workload final : public Workload {
 public:
  // The bundle's binary; program and event spacing as for Vst2Workload.
  Vst3Workload(const std::string& binaryPath, int32_t program, int32_t eventSpacing = 0);

  bool ready() const override { return synth_ != nullptr && synth_->ok(); }
  std::string programName() override;
  void renderBlock() override;

 private:
  vst3host::Module module_;
  std::unique_ptr<vst3host::Synth> synth_;
};

// Whether a plug-in path names VelaOrin.vst3 (the bundle or its binary) rather than VelaOrin.so.
bool isVst3Path(const std::string& path);
// The binary inside a bundle path (a path that is already the binary stays as it is).
std::string vst3BinaryOf(const std::string& path);
