// A WAV file that appears only when complete: samples go to a temporary file in the target's
// folder, which is renamed over the target by commit(). Destroying an uncommitted output (an
// error, an exception) removes the temporary file, so no partial file is ever left behind.
#pragma once

#include <cstdint>
#include <string>

#include "Options.h"

struct sf_private_tag;

class WavOutput {
 public:
  // Throws ToolError when the target exists (and `overwrite` is false) or cannot be written.
  WavOutput(const std::string& path, bool overwrite, int32_t sampleRate, BitDepth depth);
  ~WavOutput();
  WavOutput(const WavOutput&) = delete;
  WavOutput& operator=(const WavOutput&) = delete;

  void write(const float* interleavedStereo, int32_t frames);
  void commit();

  const std::string& temporaryPath() const { return tempPath_; }

 private:
  void discard() noexcept;

  std::string path_;
  std::string tempPath_;
  bool overwrite_;
  sf_private_tag* file_ = nullptr;
  bool committed_ = false;
};

// Refuses early, before any work, when the target exists and may not be replaced.
void checkOutputTarget(const std::string& path, bool overwrite);

// Removes a temporary output on SIGINT, SIGTERM and SIGHUP before the process dies.
void installOutputCleanupOnSignals();
