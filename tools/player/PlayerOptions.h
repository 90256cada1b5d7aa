// Command line of velaorin, the JACK player.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PluginStart.h"  // ParameterSetting
#include "VelaIdentity.h"

struct PlayerOptions {
  bool gui = true;
  std::string clientName = vela::identity::kName;
  std::string bankFile;    // loaded at start, before the program is selected
  std::string presetFile;  // loaded into the current program, before the parameters
  std::optional<int32_t> program;
  std::vector<ParameterSetting> parameters;  // applied in order, after the program
  std::vector<std::string> midiSources;      // ports to connect to our MIDI input
  std::vector<std::string> audioTargets;     // empty: the system playback ports, if any
  bool connect = true;
  bool reset = false;                       // factory programs, no tuning; the saved state is not read
  std::string scaleFile;                    // with keymapFile: the tuning, in place of the saved one
  std::string keymapFile;
  bool listTuning = false;                  // print the tuning it would start with, and stop
  // Started from the desktop menu (no terminal): PipeWire's JACK when no JACK server answers,
  // and a failure to start is shown in a window too.
  bool desktop = false;
  double scale = 0.0;                       // the window's fixed scale, 1..3; 0: the panel's
  std::string pluginPath;                   // empty: found by findPlugin (PluginSearch.h)
  std::string statePath;                    // empty: the XDG default
};

struct PlayerCommandLine {
  PlayerOptions options;
  int exitCode = -1;    // >= 0: stop now with this code (help, version, or an error)
  std::string message;  // what to print then (stdout for 0, stderr otherwise)
};

// `args` excludes the program name.
PlayerCommandLine parsePlayerCommandLine(const std::vector<std::string>& args);
