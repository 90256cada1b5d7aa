// Bank and program files to and from a running plug-in, through its interface only, the way hosts
// export and import them for plug-ins that hand out no chunks: select each program, set or read
// its parameters, name it.
#pragma once

#include <string>
#include <vector>

#include "BankFiles.h"
#include "PluginHost.h"

struct LoadedBank {
  BankImage image;
  bool hasCurrentProgram = false;  // the file says which program is current
};

// [any thread] Read whole and checked; throws ToolError "cannot read bank 'PATH': why (byte N)".
// A value clamped or a name cut is added to `warnings`.
LoadedBank readBank(const std::string& path, std::vector<std::string>& warnings);
ProgramImage readPreset(const std::string& path, std::vector<std::string>& warnings);

// The rest: [UI thread], through the plug-in's dispatcher.
// Throws ToolError unless the plug-in is VelaOrin (its identifier, 32 programs, 14 parameters).
void requireVelaOrin(const PluginHost& host);

// Every program's values and name; then the file's current program, or the one current before.
void loadBank(PluginHost& host, const LoadedBank& bank);
// Into the current program.
void loadPreset(PluginHost& host, const ProgramImage& program);

// Steps through the programs and selects the current one again.
BankImage captureBank(PluginHost& host);
ProgramImage capturePreset(const PluginHost& host);
