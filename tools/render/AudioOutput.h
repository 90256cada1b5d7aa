// An audio file that appears only when complete, under the rules of FileOutput.h: samples go to
// a PendingFile, which commit() puts in place. Destroying an uncommitted output (an error, an
// exception) removes the temporary file, so no partial file is ever left behind. The path "-" is
// standard output: the file is built in memory, so formats that seek work there too.
// Threads: everything here on the UI thread (the renderer's only one).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FileOutput.h"
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

class AudioOutput {
 public:
  AudioOutput(const std::string& path, bool overwrite, const std::string& inputPath,
              int32_t sampleRate, const OutputFormat& format);
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  void write(const float* interleavedStereo, int32_t frames);
  void commit();

  struct Memory;  // the file built for standard output

 private:
  void discard() noexcept;
  void commitToStandardOutput();

  OutputTarget target_;
  std::string inputPath_;
  bool overwrite_;
  FileFormat fileFormat_;
  std::unique_ptr<PendingFile> pending_;  // none for standard output
  std::unique_ptr<Memory> memory_;
  sf_private_tag* file_ = nullptr;
  bool committed_ = false;
};

// Ogg streams carry a random serial number; this sets a fixed one (and each page's checksum),
// so the same render gives the same bytes. Stops quietly at anything that is not an Ogg page.
void fixOggSerialNumber(uint8_t* bytes, size_t size);
