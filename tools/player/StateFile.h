// What the player keeps between runs: every program's values and name, the current program and
// the tuning, in a small line-based text file (format in StateFile.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Tuning.h"

struct PlayerState {
  int32_t program = 0;
  std::vector<std::vector<float>> values;  // a row per program, a value per parameter by index
  std::vector<std::string> names;          // one per program
  // Read from a version 1 file, which kept the current program's values only: the other rows
  // are empty.
  bool onlyCurrentValues = false;
  // The files' contents, so the tuning survives the files being moved (version 3).
  TuningFiles tuning;
};

struct StateParse {
  bool ok = false;
  std::string error;  // "line N: why" when not ok
  PlayerState state;
};

// [any thread] `parameterNames` are the plug-in's own; the file names each value so that
// reordered or renamed parameters are caught rather than applied to the wrong control.
std::string formatState(const PlayerState& state, const std::vector<std::string>& parameterNames);
StateParse parseState(const std::string& text, const std::vector<std::string>& parameterNames,
                      size_t programCount);

// The rest: [UI thread].
// $XDG_CONFIG_HOME/velaorin/state, else ~/.config/velaorin/state.
std::string defaultStatePath();
// $XDG_DATA_HOME/velaorin/banks/, else ~/.local/share/velaorin/banks/ (with the slash).
std::string defaultBanksFolder();
// Creates every missing folder of `folder`; an error text, empty when it exists now.
std::string makeFolders(const std::string& folder);

// Reads the whole file; false with `error` set when it cannot be read. A missing file answers
// false with `missing` set.
bool readTextFile(const std::string& path, std::string& text, std::string& error, bool& missing);
// Creates the folder, then writes `text` whole or not at all (writeWholeFile, FileOutput.h):
// `path` is replaced only when it is a regular file, or a link to one, that may be written.
// The old file stays untouched unless this succeeds.
bool replaceFile(const std::string& path, const std::string& text, std::string& error);
