// Helpers for the renderer's tests: scratch folders, running the built tool, reading WAV files
// back and building MIDI files byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const;  // names of everything inside

 private:
  std::string path_;
};

struct ToolRun {
  int exitCode = -1;  // -1: did not exit normally
  std::string out;
  std::string err;
};

// Runs velaorin-render with `args` in `workDir`; `env` entries are "NAME=value" additions;
// standard input is `stdinPath` (or nothing).
ToolRun runTool(const std::vector<std::string>& args, const std::string& workDir,
                const std::vector<std::string>& env = {}, const std::string& stdinPath = "");

size_t lineCount(const std::string& text);

struct WavData {
  int sampleRate = 0;
  int channels = 0;
  int format = 0;  // libsndfile SF_FORMAT_* bits
  int64_t frames = 0;
  std::vector<float> samples;  // interleaved
};

// Fails the current test (and returns empty data) when the file cannot be read.
WavData readWav(const std::string& path);

struct MidiEventAt {
  int track;  // 1-based
  int64_t tick;
  std::vector<uint8_t> bytes;
};

// A chunk: four-letter name, big-endian length, body.
std::vector<uint8_t> midiChunk(const char* name, const std::vector<uint8_t>& body);
std::vector<uint8_t> midiHeader(int format, int tracks, int division);
// Appends a variable-length number.
void appendNumber(std::vector<uint8_t>& bytes, uint32_t value);

// A whole file, each track's events by tick and closed by an end-of-track at its last event;
// more than one track gives format 1. Meta events are given whole (FF type length data); a sysex
// as F0 and its data, its length added here.
std::vector<uint8_t> midiFileBytes(int ticksPerQuarter, int tracks,
                                   const std::vector<MidiEventAt>& events);
void writeMidi(const std::string& path, int ticksPerQuarter, int tracks,
               const std::vector<MidiEventAt>& events);

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<std::string> readLines(const std::string& path);
bool fileExists(const std::string& path);
