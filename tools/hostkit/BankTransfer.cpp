#include "BankTransfer.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ToolError.h"
#include "VelaIdentity.h"

namespace {

std::vector<uint8_t> fileBytes(const std::string& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError(std::string("cannot open ") + what + " '" + path + "': " + std::strerror(errno));
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ToolError(std::string("cannot read ") + what + " '" + path + "'");
  return bytes;
}

void keepWarning(const FileReport& report, const std::string& path,
                 std::vector<std::string>& warnings) {
  if (!report.warning.empty()) warnings.push_back("'" + path + "': " + report.warning);
}

}  // namespace

LoadedBank readBank(const std::string& path, std::vector<std::string>& warnings) {
  const std::vector<uint8_t> bytes = fileBytes(path, "bank");
  LoadedBank bank;
  FileReport report;
  if (!readBankFile(bytes.data(), bytes.size(), bank.image, report))
    throw ToolError("cannot read bank '" + path + "': " + report.error);
  bank.hasCurrentProgram = report.hasCurrentProgram;
  keepWarning(report, path, warnings);
  return bank;
}

ProgramImage readPreset(const std::string& path, std::vector<std::string>& warnings) {
  const std::vector<uint8_t> bytes = fileBytes(path, "preset");
  ProgramImage program{};
  FileReport report;
  if (!readProgramFile(bytes.data(), bytes.size(), program, report))
    throw ToolError("cannot read preset '" + path + "': " + report.error);
  keepWarning(report, path, warnings);
  return program;
}

void requireVelaOrin(const PluginHost& host) {
  if (host.uniqueId() != vela::identity::kIdentifierCode || host.numPrograms() != kNumPrograms ||
      host.numParameters() != kNumParams)
    throw ToolError("bank and preset files are VelaOrin's; the plug-in is " + host.effectName());
}

void loadBank(PluginHost& host, const LoadedBank& bank) {
  requireVelaOrin(host);
  const int32_t current = bank.hasCurrentProgram ? bank.image.currentProgram : host.currentProgram();
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    host.setProgramName(n, bank.image.programs[n].name);  // selects program n
    for (int32_t i = 0; i < kNumParams; ++i) host.setParameter(i, bank.image.programs[n].values[i]);
  }
  host.selectProgram(current);
}

void loadPreset(PluginHost& host, const ProgramImage& program) {
  requireVelaOrin(host);
  host.setProgramName(host.currentProgram(), program.name);
  for (int32_t i = 0; i < kNumParams; ++i) host.setParameter(i, program.values[i]);
}

ProgramImage capturePreset(const PluginHost& host) {
  requireVelaOrin(host);
  ProgramImage program{};
  for (int32_t i = 0; i < kNumParams; ++i) program.values[i] = host.parameterValue(i);
  const std::string name = host.programName(host.currentProgram());
  std::strncpy(program.name, name.c_str(), sizeof program.name - 1);
  return program;
}

BankImage captureBank(PluginHost& host) {
  requireVelaOrin(host);
  BankImage bank{};
  bank.currentProgram = host.currentProgram();
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    host.selectProgram(n);
    bank.programs[n] = capturePreset(host);
  }
  host.selectProgram(bank.currentProgram);
  return bank;
}
