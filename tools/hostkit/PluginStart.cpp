#include "PluginStart.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "ScalaFiles.h"

#include "ToolError.h"

StartFiles readStartFiles(const std::string& bankPath, const std::string& presetPath,
                          std::vector<std::string>& warnings) {
  StartFiles files;
  if (!bankPath.empty()) files.bank = readBank(bankPath, warnings);
  if (!presetPath.empty()) files.preset = readPreset(presetPath, warnings);
  return files;
}

std::optional<TuningFiles> readTuningFiles(const std::string& scalePath,
                                           const std::string& mappingPath) {
  if (scalePath.empty() && mappingPath.empty()) return std::nullopt;
  TuningFiles files;
  std::string error;
  const std::pair<const std::string*, std::optional<ScalaText>*> wanted[] = {
      {&scalePath, &files.scale}, {&mappingPath, &files.keyboardMapping}};
  for (const auto& [path, file] : wanted) {
    if (path->empty()) continue;
    ScalaText read;
    if (!readScalaFile(*path, read, error)) throw ToolError(error);
    *file = std::move(read);
  }
  TuningTable table;
  if (!buildTuning(files, table, error)) throw ToolError(error);
  return files;
}

std::string tuningListing(const std::optional<TuningFiles>& tuning) {
  TuningTable table;
  std::string error;
  if (tuning && !buildTuning(*tuning, table, error)) throw ToolError(error);
  std::string text;
  for (int32_t note = 0; note < kNumNotes; ++note) {
    char line[64];
    if (table.active && !table.mapped[note]) {
      std::snprintf(line, sizeof line, "%d unmapped\n", static_cast<int>(note));
    } else {
      const double hz = table.active ? table.frequency[note]
                                     : static_cast<double>(synthTables().noteFrequencyTable[note]);
      double cents = 1200.0 * scala::log2Of(hz / 440.0) - 100.0 * (note - 69);
      if (std::fabs(cents) < 0.00005) cents = 0.0;  // no "-0.0000"
      std::snprintf(line, sizeof line, "%d %.9g %.4f\n", static_cast<int>(note), hz, cents);
    }
    text += line;
  }
  return text;
}

void applyStartSettings(PluginHost& host, const StartFiles& files, std::optional<int32_t> program,
                        const std::vector<ParameterSetting>& parameters) {
  if (files.tuning) host.setTuning(*files.tuning);
  if (files.bank) loadBank(host, *files.bank);
  if (program) host.selectProgram(*program);
  if (files.preset) loadPreset(host, *files.preset);
  for (const ParameterSetting& setting : parameters) {
    const int32_t index = host.findParameter(setting.name);
    if (index < 0) {
      std::string known;
      for (int32_t i = 0; i < host.numParameters(); ++i)
        known += (i == 0 ? "" : ", ") + host.parameter(i).name;
      throw UsageError("unknown parameter '" + setting.name + "' (" + host.effectName() +
                       " has: " + known + ")");
    }
    host.setParameter(index, setting.value);
  }
}
