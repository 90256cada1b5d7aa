// What a tool's command line sets up in a freshly opened plug-in, the same way in the renderer
// and the player: the bank, then the program, then the preset, then each parameter in the order
// given. The files are read before any plug-in is opened, so a bad one costs no start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BankTransfer.h"
#include "PluginHost.h"

// --param NAME=VALUE.
struct ParameterSetting {
  std::string name;
  float value = 0.0f;
};

struct StartFiles {
  std::optional<LoadedBank> bank;
  std::optional<ProgramImage> preset;
  std::optional<TuningFiles> tuning;  // handed to the plug-in before everything else
};

// [any thread] An empty path reads nothing. Throws ToolError for a file that cannot be read or is
// damaged; a value clamped or a name cut is added to `warnings`.
StartFiles readStartFiles(const std::string& bankPath, const std::string& presetPath,
                          std::vector<std::string>& warnings);

// [any thread] --scale and --keymap: both files read and checked as the plug-in will read them
// (Tuning.h); either path may be empty. Empty both: no tuning. Throws ToolError naming the file,
// the line and what is wrong.
std::optional<TuningFiles> readTuningFiles(const std::string& scalePath,
                                           const std::string& mappingPath);

// [any thread] --list-tuning: a line per MIDI note, "NOTE HZ CENTS" (nine significant digits;
// cents from 12-tone equal temperament at A 440 Hz) or "NOTE unmapped"; with no tuning, the
// plug-in's own table.
std::string tuningListing(const std::optional<TuningFiles>& tuning);

// [UI thread] Before the audio starts. Throws ToolError for a program the plug-in does not have
// or files that are not its own, UsageError for a parameter name it does not know (the message
// lists the ones it has).
void applyStartSettings(PluginHost& host, const StartFiles& files, std::optional<int32_t> program,
                        const std::vector<ParameterSetting>& parameters);
