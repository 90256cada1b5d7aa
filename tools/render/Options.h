// Command line of velaorin-render.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class BitDepth { Pcm16, Pcm24, Float32 };

struct ParameterSetting {
  std::string name;
  float value = 0.0f;
};

struct Options {
  std::string midiFile;  // empty: the built-in demo song
  std::string output = "out.wav";
  std::string pluginPath;  // empty: VelaOrin.so beside the executable
  int32_t sampleRate = 44100;
  int32_t blockSize = 512;
  double tailMs = 1500.0;
  BitDepth bitDepth = BitDepth::Pcm16;
  std::optional<int32_t> program;
  std::vector<ParameterSetting> parameters;  // in command-line order, applied after the program
  bool overwrite = false;
  bool listParameters = false;
  bool listPrograms = false;
  bool help = false;
};

struct ParsedCommandLine {
  Options options;
  std::string error;  // empty when the command line is good
};

// `args` excludes the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText(const std::string& programName);

const char* bitDepthName(BitDepth depth);
