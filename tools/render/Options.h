// Command line of velaorin-render.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PluginStart.h"  // ParameterSetting

enum class BitDepth { Pcm16, Pcm24, Float32 };
enum class FileFormat { Wav, Flac, Aiff, Ogg };

struct OutputFormat {
  FileFormat file = FileFormat::Wav;
  BitDepth depth = BitDepth::Pcm16;  // not used by Ogg Vorbis
};

enum class Verbosity { Quiet, Normal, Verbose };

struct Options {
  std::vector<std::string> midiFiles;  // empty: the built-in demo song; "-": standard input
  // Empty: beside each MIDI file, or out.wav for the demo. Ending in '/': a folder to write
  // into. "-": standard output.
  std::string output;
  std::string pluginPath;  // empty: found by findPlugin (PluginSearch.h)
  int32_t sampleRate = 44100;
  int32_t blockSize = 512;
  double tailMs = 1500.0;
  std::optional<BitDepth> bitDepth;  // empty: 16-bit where the format has a depth
  std::optional<FileFormat> format;  // empty: from the output's extension, else WAV
  std::string bankFile;    // loaded before --program
  std::string presetFile;  // loaded into the current program, before --param
  std::string saveBank;    // written after all the above; "-": standard output
  std::string savePreset;
  std::optional<int32_t> program;
  std::vector<ParameterSetting> parameters;  // in command-line order, applied after the program
  std::string scaleFile;    // a Scala scale (.scl) ...
  std::string keymapFile;   // ... and keyboard mapping (.kbm) for the plug-in to play in
  double gainDb = 0.0;
  bool normalize = false;  // peak to -1 dBFS
  Verbosity verbosity = Verbosity::Normal;
  bool overwrite = false;
  bool listParameters = false;
  bool listPrograms = false;
  bool listTuning = false;
  bool help = false;
  bool version = false;
};

struct ParsedCommandLine {
  Options options;
  std::string error;  // empty when the command line is good
};

// `args` excludes the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText(const std::string& programName);

const char* bitDepthName(BitDepth depth);
