// velaorin-render: renders MIDI files (or the built-in demo) through the plug-in into audio files.
// Threads: one. It is the UI thread to the plug-in (PluginHost.h) and its audio thread while a
// song renders.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "AudioOutput.h"
#include "BankTransfer.h"
#include "DemoSong.h"
#include "FileOutput.h"
#include "MidiFile.h"
#include "Options.h"
#include "PluginHost.h"
#include "PluginSearch.h"
#include "PluginStart.h"
#include "Renderer.h"
#include "ToolError.h"
#include "RenderJobs.h"
#include "VelaIdentity.h"

namespace {

constexpr const char* kToolName = "velaorin-render";

// Drawn on stderr when it is a terminal, and only once a render has run long enough to notice.
class ProgressBar {
 public:
  explicit ProgressBar(bool wanted)
      : enabled_(wanted && isatty(STDERR_FILENO) != 0), start_(Clock::now()) {}
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
      const HostParameter info = host.parameter(i);
      std::printf("%3d  %-8s  %-8.6f  %-7s  %s\n", i, info.name.c_str(),
                  static_cast<double>(info.value), info.display.c_str(), info.label.c_str());
    }
  }
}

class Reporter {
 public:
  explicit Reporter(Verbosity verbosity) : verbosity_(verbosity) {}

  void warning(const char* format, ...) const __attribute__((format(printf, 2, 3))) {
    if (verbosity_ == Verbosity::Quiet) return;
    std::fprintf(stderr, "%s: warning: ", kToolName);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
  }
  // Results go to standard output, unless the audio itself goes there.
  void result(bool audioOnStdout, const std::string& line) const {
    if (verbosity_ == Verbosity::Quiet) return;
    std::fprintf(audioOnStdout ? stderr : stdout, "%s\n", line.c_str());
  }
  void detail(const std::string& line) const {
    if (verbosity_ == Verbosity::Verbose) std::fprintf(stderr, "%s\n", line.c_str());
  }
  bool quiet() const { return verbosity_ == Verbosity::Quiet; }

 private:
  Verbosity verbosity_;
};

std::string decibels(double ratio) {
  char text[48];
  std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(ratio));
  return text;
}

std::string describePeak(float peak) {
  return peak <= 0.0f ? "silent" : "peak " + decibels(static_cast<double>(peak));
}

std::string clockTime(int64_t frame, int32_t sampleRate) {
  const int64_t millis = frame * 1000 / sampleRate;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(millis / 60000),
                static_cast<long long>(millis / 1000 % 60), static_cast<long long>(millis % 1000));
  return text;
}

std::string shown(const std::string& path) {
  return path == "-" ? "(standard input)" : path.empty() ? "the demo song" : "'" + path + "'";
}

// What VelaOrin does not do, said once per file when the song asks for it.
void remarkOn(const Song& song, const RenderJob& job, const PluginHost& host,
              const Reporter& report) {
  if (job.input.empty() || host.effectName() != vela::identity::kName) return;
  const SongRemarks remarks = remarksOn(song);
  const int32_t rate = host.sampleRate();
  if (remarks.firstOverlapFrame >= 0)
    report.warning("%s plays up to %d notes at once (first at %s); VelaOrin plays one held note "
                   "at a time, so each new note releases the one before",
                   shown(job.input).c_str(), remarks.mostNotesAtOnce,
                   clockTime(remarks.firstOverlapFrame, rate).c_str());
  if (remarks.firstProgramChangeFrame >= 0)
    report.warning("%s has MIDI program changes (first at %s); VelaOrin ignores them and keeps "
                   "the program chosen with --program",
                   shown(job.input).c_str(), clockTime(remarks.firstProgramChangeFrame, rate).c_str());
}

std::string pluginPathOf(const Options& options) {
  const PluginSearch search = findPlugin(options.pluginPath);
  if (search.path.empty()) throw ToolError(search.error);
  return search.path;
}

Song songFor(const RenderJob& job, const Options& options, const PluginHost& host,
             const Reporter& report) {
  if (job.input.empty()) {
    DemoSetup setup;
    setup.startProgram = host.numPrograms() > 0 ? host.currentProgram() : -1;
    setup.drumProgram = host.numPrograms() > 1 ? 1 : -1;
    setup.cutOffIndex = host.findParameter("CutOff");
    if (setup.startProgram < 0) setup.drumProgram = -1;
    return demoSong(options.sampleRate, setup);
  }
  std::vector<std::string> warnings;
  Song song = readMidiFile(job.input, options.sampleRate, &warnings);
  for (const std::string& warning : warnings)
    report.warning("%s: %s", shown(job.input).c_str(), warning.c_str());
  return song;
}

void renderJob(const RenderJob& job, const Options& options, const StartFiles& files,
               const Reporter& report) {
  checkOutputTarget(job.output, options.overwrite, job.input);
  const auto started = std::chrono::steady_clock::now();
  auto host = std::make_unique<PluginHost>(options.pluginPath, options.sampleRate,
                                           options.blockSize);
  applyStartSettings(*host, files, options.program, options.parameters);
  const Song song = songFor(job, options, *host, report);
  remarkOn(song, job, *host, report);

  const auto tailFrames =
      static_cast<int64_t>(std::llround(options.tailMs * options.sampleRate / 1000.0));
  const int64_t totalFrames = song.endFrame + tailFrames;
  // A damaged MIDI file can claim a song of days; WAV and AIFF sizes are 32-bit.
  if (totalFrames > largestFrameCount(job.format))
    throw ToolError("the song would last " +
                    std::to_string(totalFrames / options.sampleRate / 60) + " minutes, more than " +
                    formatName(job.format.file) + " can hold at these settings");

  double gain = std::pow(10.0, options.gainDb / 20.0);
  if (options.normalize) {
    // A first pass measures the peak; the plug-in is deterministic, so a fresh one plays the
    // same samples again.
    const RenderStats measured = renderSong(*host, song, totalFrames, [](const float*, int32_t) {});
    host.reset();
    host = std::make_unique<PluginHost>(options.pluginPath, options.sampleRate,
                                        options.blockSize);
    applyStartSettings(*host, files, options.program, options.parameters);
    constexpr double kNormalPeak = 0.89125093813374556;  // -1 dBFS
    if (measured.peak > 0.0f) gain = kNormalPeak / static_cast<double>(measured.peak);
  }
  report.detail("rendering " + shown(job.input) + " to '" + job.output + "' (" +
                formatName(job.format.file) +
                (job.format.file == FileFormat::Ogg ? "" : std::string(", ") + bitDepthName(job.format.depth)) +
                ", " + std::to_string(options.sampleRate) + " Hz) with " + host->effectName() +
                " (" + options.pluginPath + ")" +
                (options.normalize || options.gainDb != 0.0 ? ", gain " + decibels(gain) : ""));

  AudioOutput output(job.output, options.overwrite, job.input, options.sampleRate, job.format);
  ProgressBar progress(!report.quiet());
  const RenderStats stats = renderSong(
      *host, song, totalFrames,
      [&output](const float* frames, int32_t count) { output.write(frames, count); },
      [&progress](int64_t done, int64_t total) { progress.update(done, total); }, gain);
  progress.finish();
  output.commit();

  const bool toStdout = job.output == "-";
  char line[256];
  std::snprintf(line, sizeof line, "wrote %s: %.2f s, %d Hz, %s%s%s stereo, %s",
                toStdout ? "standard output" : job.output.c_str(),
                static_cast<double>(stats.frames) / options.sampleRate, options.sampleRate,
                job.format.file == FileFormat::Ogg ? "" : bitDepthName(job.format.depth),
                job.format.file == FileFormat::Ogg ? "" : " ", formatName(job.format.file),
                describePeak(stats.peak).c_str());
  report.result(toStdout, line);
  if (stats.overRange > 0) {
    const bool integer = job.format.file != FileFormat::Ogg && job.format.depth != BitDepth::Float32;
    report.warning("%lld samples beyond full scale %s", static_cast<long long>(stats.overRange),
                   integer ? "were clipped" : "are kept, but most players will clip them");
  }
  report.detail("took " + std::to_string(std::chrono::duration<double>(
                                             std::chrono::steady_clock::now() - started)
                                             .count()) +
                " s");
}

// Writes --save-bank and --save-preset from a plug-in set up as for rendering.
void saveFiles(const Options& options, const StartFiles& files, const Reporter& report) {
  for (const std::string& path : {options.saveBank, options.savePreset}) {
    if (path.empty()) continue;
    checkOutputTarget(path, options.overwrite);
    for (const std::string& input : options.midiFiles) checkOutputTarget(path, options.overwrite, input);
  }
  PluginHost host(options.pluginPath, options.sampleRate, options.blockSize);
  applyStartSettings(host, files, options.program, options.parameters);
  if (!options.saveBank.empty()) {
    writeWholeFile(options.saveBank, writeBankFile(captureBank(host)), options.overwrite,
                   options.midiFiles);
    report.result(options.saveBank == "-", "wrote bank " + options.saveBank);
  }
  if (!options.savePreset.empty()) {
    writeWholeFile(options.savePreset, writeProgramFile(capturePreset(host)), options.overwrite,
                   options.midiFiles);
    report.result(options.savePreset == "-", "wrote preset " + options.savePreset);
  }
}

int run(const Options& given) {
  Options options = given;
  const Reporter report(options.verbosity);
  std::vector<std::string> warnings;
  StartFiles files = readStartFiles(options.bankFile, options.presetFile, warnings);
  for (const std::string& warning : warnings) report.warning("%s", warning.c_str());
  files.tuning = readTuningFiles(options.scaleFile, options.keymapFile);
  if (options.listTuning) {
    std::fputs(tuningListing(files.tuning).c_str(), stdout);
    if (!options.listParameters && !options.listPrograms) return 0;
    std::fputs("\n", stdout);
  }
  if (options.listParameters || options.listPrograms) {
    PluginHost host(pluginPathOf(given), options.sampleRate, options.blockSize);
    applyStartSettings(host, files, options.program, options.parameters);
    printListings(host, options);
    return 0;
  }
  // Saving alone renders no demo.
  const bool saving = !options.saveBank.empty() || !options.savePreset.empty();
  const std::vector<RenderJob> jobs =
      saving && options.midiFiles.empty() ? std::vector<RenderJob>{} : planJobs(options);
  // Looked up once, after the command line's own faults: a missing plug-in is one error, not one
  // per MIDI file.
  options.pluginPath = pluginPathOf(given);
  if (saving) saveFiles(options, files, report);
  installOutputCleanupOnSignals();
  int failed = 0;
  for (const RenderJob& job : jobs) {
    try {
      renderJob(job, options, files, report);
    } catch (const UsageError&) {
      throw;
    } catch (const std::exception& error) {
      std::fflush(stdout);
      const std::string what = jobs.size() > 1 ? shown(job.input) + ": " + error.what() : error.what();
      std::fprintf(stderr, "%s: %s\n", kToolName, what.c_str());
      ++failed;
    }
  }
  return failed > 0 ? 1 : 0;
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
  if (parsed.options.version) {
    std::printf("%s %s\n", kToolName, vela::identity::kVersion);
    return 0;
  }
  try {
    return run(parsed.options);
  } catch (const UsageError& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kToolName, error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kToolName, error.what());
    return 1;
  }
}
