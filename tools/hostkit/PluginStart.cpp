#include "PluginStart.h"

#include "ToolError.h"

StartFiles readStartFiles(const std::string& bankPath, const std::string& presetPath,
                          std::vector<std::string>& warnings) {
  StartFiles files;
  if (!bankPath.empty()) files.bank = readBank(bankPath, warnings);
  if (!presetPath.empty()) files.preset = readPreset(presetPath, warnings);
  return files;
}

void applyStartSettings(PluginHost& host, const StartFiles& files, std::optional<int32_t> program,
                        const std::vector<ParameterSetting>& parameters) {
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
