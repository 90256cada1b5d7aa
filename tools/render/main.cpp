// velaorin-render: renders a MIDI file (or the built-in demo) through the plug-in into a WAV.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "DemoSong.h"
#include "MidiFile.h"
#include "Options.h"
#include "PluginHost.h"
#include "Renderer.h"
#include "ToolError.h"
#include "WavOutput.h"

namespace {

constexpr const char* kToolName = "velaorin-render";

// Drawn on stderr when it is a terminal, and only once a render has run long enough to notice.
class ProgressBar {
 public:
  ProgressBar() : enabled_(isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}
  ~ProgressBar() { finish(); }

  void update(int64_t done, int64_t total) {
    if (!enabled_ || total <= 0) return;
    if (!shown_ && Clock::now() - start_ < std::chrono::milliseconds(300)) return;
    const int percent = static_cast<int>(100 * done / total);
    if (shown_ && percent == lastPercent_) return;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\rrendering [%s%s] %3d%%",
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), percent);
    std::fflush(stderr);
    shown_ = true;
    lastPercent_ = percent;
  }

  void finish() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  Clock::time_point start_;
  bool shown_ = false;
  int lastPercent_ = -1;
};

void applyProgramAndParameters(PluginHost& host, const Options& options) {
  // Selecting the program after the sample rate is set has the plug-in derive its settings at the
  // render rate; with no --program the current one is selected again.
  if (options.program)
    host.selectProgram(*options.program);
  else if (host.numPrograms() > 0)
    host.selectProgram(host.currentProgram());

  for (const ParameterSetting& setting : options.parameters) {
    const int32_t index = host.findParameter(setting.name);
    if (index < 0) {
      std::string known;
      for (int32_t i = 0; i < host.numParameters(); ++i)
        known += (i == 0 ? "" : ", ") + host.parameter(i).name;
      throw ToolError("unknown parameter '" + setting.name + "' (" + host.effectName() +
                      " has: " + known + ")");
    }
    host.setParameter(index, setting.value);
  }
}

void printListings(const PluginHost& host, const Options& options) {
  const int32_t current = host.currentProgram();
  std::printf("%s by %s (%s): %d parameters, %d programs, program %d \"%s\"\n",
              host.effectName().c_str(), host.vendorString().c_str(), host.productString().c_str(),
              host.numParameters(), host.numPrograms(), current, host.programName(current).c_str());
  if (options.listPrograms) {
    std::printf("\n  #  program\n");
    for (int32_t i = 0; i < host.numPrograms(); ++i)
      std::printf("%3d  %s%s\n", i, host.programName(i).c_str(), i == current ? "  (current)" : "");
  }
  if (options.listParameters) {
    std::printf("\n  #  name      value     display  label\n");
    for (int32_t i = 0; i < host.numParameters(); ++i) {
      const ParameterInfo info = host.parameter(i);
      std::printf("%3d  %-8s  %-8.6f  %-7s  %s\n", i, info.name.c_str(),
                  static_cast<double>(info.value), info.display.c_str(), info.label.c_str());
    }
  }
}

std::string describePeak(float peak) {
  if (peak <= 0.0f) return "silent";
  char text[48];
  std::snprintf(text, sizeof text, "peak %.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
  return text;
}

int run(const Options& options) {
  const bool listing = options.listParameters || options.listPrograms;
  if (!listing) checkOutputTarget(options.output, options.overwrite);
  installOutputCleanupOnSignals();

  Song song;
  if (!listing && !options.midiFile.empty()) {
    std::vector<std::string> warnings;
    song = readMidiFile(options.midiFile, options.sampleRate, &warnings);
    for (const std::string& warning : warnings)
      std::fprintf(stderr, "%s: warning: MIDI file '%s': %s\n", kToolName, options.midiFile.c_str(),
                   warning.c_str());
  }

  const std::string pluginPath =
      options.pluginPath.empty() ? defaultPluginPath() : options.pluginPath;
  PluginHost host(pluginPath, options.sampleRate, options.blockSize);
  applyProgramAndParameters(host, options);
  if (listing) {
    printListings(host, options);
    return 0;
  }

  if (options.midiFile.empty()) {
    DemoSetup setup;
    setup.startProgram = host.numPrograms() > 0 ? host.currentProgram() : -1;
    setup.drumProgram = host.numPrograms() > 1 ? 1 : -1;
    setup.cutOffIndex = host.findParameter("CutOff");
    if (setup.startProgram < 0) setup.drumProgram = -1;
    song = demoSong(options.sampleRate, setup);
  }
  const auto tailFrames =
      static_cast<int64_t>(std::llround(options.tailMs * options.sampleRate / 1000.0));
  const int64_t totalFrames = song.endFrame + tailFrames;

  // A WAV file's sizes are 32-bit; a damaged MIDI file can claim a song of days.
  const int64_t bytesPerFrame = options.bitDepth == BitDepth::Pcm16   ? 4
                                : options.bitDepth == BitDepth::Pcm24 ? 6
                                                                      : 8;
  if (totalFrames > (int64_t{0xFFFFFFFF} - 4096) / bytesPerFrame)
    throw ToolError("the song would last " + std::to_string(totalFrames / options.sampleRate / 60) +
                    " minutes, more than a WAV file can hold at these settings");

  WavOutput output(options.output, options.overwrite, options.sampleRate, options.bitDepth);
  ProgressBar progress;
  const RenderStats stats = renderSong(
      host, song, totalFrames,
      [&output](const float* frames, int32_t count) { output.write(frames, count); },
      [&progress](int64_t done, int64_t total) { progress.update(done, total); });
  progress.finish();
  output.commit();

  std::printf("wrote %s: %.2f s, %d Hz, %s stereo, %s\n", options.output.c_str(),
              static_cast<double>(stats.frames) / options.sampleRate, options.sampleRate,
              bitDepthName(options.bitDepth), describePeak(stats.peak).c_str());
  if (stats.overRange > 0 && options.bitDepth != BitDepth::Float32)
    std::fprintf(stderr, "%s: warning: %lld samples beyond full scale were clipped\n", kToolName,
                 static_cast<long long>(stats.overRange));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParsedCommandLine parsed = parseCommandLine(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kToolName, parsed.error.c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(usageText(kToolName).c_str(), stdout);
    return 0;
  }
  try {
    return run(parsed.options);
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kToolName, error.what());
    return 1;
  }
}
