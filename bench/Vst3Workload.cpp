#include "Vst3Workload.h"

#include <cmath>
#include <memory>

#include "VelaVst3.h"

namespace {
// The phrase of Workload.cpp.
constexpr int16_t kNotes[] = {48, 55, 60, 64, 67, 72, 76, 79, 84, 79, 76, 72, 67, 64, 60, 55};
constexpr float kVelocity = 100.0f / 127.0f;
}  // namespace

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
    : module_(binaryPath), eventSpacing_(eventSpacing), left_(kBlockSize), right_(kBlockSize) {
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
  // The release length follows "R" as the engine maps it: round(R^2 * rate) + 10.
  const double r = synth_->controller()->getParamNormalized(kR);
  const auto release = static_cast<int64_t>(std::nearbyint(r * r * kSampleRate)) + 10;
  voiceSamplesPerBlock_ = kBlockSize + (release + 2 < kBlockSize ? release + 2 : kBlockSize);
  renderBlock();
  renderBlock();
}

std::string Vst3Workload::programName() {
  vst3::TChar text[128] = {};
  synth_->controller()->getParamStringByValue(
      velavst3::kProgramId, synth_->controller()->getParamNormalized(velavst3::kProgramId), text);
  return vst3host::narrow(text);
}

void Vst3Workload::renderBlock() {
  synth_->events().noteOn(0, kNotes[noteIndex_], kVelocity);
  noteIndex_ = (noteIndex_ + 1) % static_cast<int32_t>(std::size(kNotes));
  if (eventSpacing_ > 0)
    for (int32_t at = eventSpacing_; at < kBlockSize; at += eventSpacing_)
      synth_->parameters().add(velavst3::kPitchBendId, at, 8192.0 / 16383.0);
  synth_->render(left_.data(), right_.data(), kBlockSize);
}
