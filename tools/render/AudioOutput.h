// An audio file that appears only when complete: samples go to a temporary file in the target's
// folder, which is renamed over the target by commit(). Destroying an uncommitted output (an
// error, an exception) removes the temporary file, so no partial file is ever left behind.
// Only a regular file (or a symbolic link to one, written through) is ever replaced. The path
// "-" is standard output: the file is built in memory, so formats that seek work there too.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Options.h"

struct sf_private_tag;

// By the path's extension, ignoring letter case; none for an unknown one.
std::optional<FileFormat> formatForPath(const std::string& path);
const char* extensionOf(FileFormat format);  // ".wav", ...
const char* formatName(FileFormat format);   // "WAV", ...
std::string knownExtensions();               // ".wav, .flac, ..." for messages
// Empty when the format can hold samples of that depth; otherwise why not.
std::string depthProblem(FileFormat format, BitDepth depth);
// The longest render the format can hold: WAV and AIFF sizes are 32-bit.
int64_t largestFrameCount(const OutputFormat& format);

// Where a finished file will land, checked before any work.
struct OutputTarget {
  std::string path;       // as given; "-" for standard output
  std::string finalPath;  // a symbolic link's target, or the path itself
  bool exists = false;
  dev_t device = 0;  // of the existing file
  ino_t inode = 0;
  mode_t mode = 0;
};

// Throws ToolError when the path may not be written: a folder, device, FIFO or socket, a
// read-only file, the MIDI file being read (`inputPath`, "-" for standard input), or an existing
// file without `overwrite`.
OutputTarget checkOutputTarget(const std::string& path, bool overwrite,
                               const std::string& inputPath = "");

// A whole small file (a bank, a preset) under the same rules: checked first, against each input
// too, written to a temporary file and put in place only when complete. "-" is standard output.
void writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool overwrite,
                    const std::vector<std::string>& inputPaths);

class AudioOutput {
 public:
  AudioOutput(const std::string& path, bool overwrite, const std::string& inputPath,
              int32_t sampleRate, const OutputFormat& format);
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  void write(const float* interleavedStereo, int32_t frames);
  void commit();

  const std::string& temporaryPath() const { return tempPath_; }

  struct Memory;  // the file built for standard output

 private:
  void discard() noexcept;
  void commitToStandardOutput();

  OutputTarget target_;
  std::string inputPath_;
  bool overwrite_;
  FileFormat fileFormat_;
  std::string tempPath_;
  std::unique_ptr<Memory> memory_;
  sf_private_tag* file_ = nullptr;
  bool committed_ = false;
};

// Removes a temporary output on SIGINT, SIGTERM and SIGHUP before the process dies.
void installOutputCleanupOnSignals();

// Ogg streams carry a random serial number; this sets a fixed one (and each page's checksum),
// so the same render gives the same bytes. Stops quietly at anything that is not an Ogg page.
void fixOggSerialNumber(uint8_t* bytes, size_t size);
