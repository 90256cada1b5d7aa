#include "Vst3Workload.h"

#include <memory>

#include "VelaVst3.h"

bool isVst3Path(const std::string& path) {
  return path.find(".vst3") != std::string::npos;
}

std::string vst3BinaryOf(const std::string& path) {
  std::string bundle = path;
  while (!bundle.empty() && bundle.back() == '/') bundle.pop_back();
  if (bundle.size() < 5 || bundle.compare(bundle.size() - 5, 5, ".vst3") != 0) return path;
  return bundle + "/Contents/x86_64-linux/VelaOrin.so";
}

Vst3Workload::Vst3Workload(const std::string& binaryPath, int32_t program, int32_t eventSpacing)
    : Workload(eventSpacing), module_(binaryPath) {
  if (!module_.ok()) {
    error_ = "cannot open " + binaryPath + ": " + module_.error();
    return;
  }
  synth_ = std::make_unique<vst3host::Synth>(kSampleRate, kBlockSize, module_);
  if (!synth_->ok()) {
    error_ = "no instance from " + binaryPath + ": " + synth_->error();
    return;
  }
  synth_->selectProgram(program);
  warmUp(synth_->controller()->getParamNormalized(kR));
}

std::string Vst3Workload::programName() {
  vst3::TChar text[128] = {};
  synth_->controller()->getParamStringByValue(
      velavst3::kProgramId, synth_->controller()->getParamNormalized(velavst3::kProgramId), text);
  return vst3host::narrow(text);
}

void Vst3Workload::renderBlock() {
  synth_->events().noteOn(0, nextKey(), kVelocity / 127.0f);
  if (eventSpacing_ > 0)
    for (int32_t at = eventSpacing_; at < kBlockSize; at += eventSpacing_)
      synth_->parameters().add(velavst3::kPitchBendId, at, 8192.0 / 16383.0);
  synth_->render(left_.data(), right_.data(), kBlockSize);
}
