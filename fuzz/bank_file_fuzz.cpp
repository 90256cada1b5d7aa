// libFuzzer target: the bank and program file readers on arbitrary bytes. A refusal must leave
// the image untouched; what is read must hold values in 0..1 and terminated names, and must
// write and read back to the same image.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "BankFiles.h"

namespace {

void checkProgram(const ProgramImage& p) {
  if (std::memchr(p.name, '\0', sizeof p.name) == nullptr) std::abort();
  for (float v : p.values)
    if (!(v >= 0.0f && v <= 1.0f)) std::abort();
}

template <class Image, class Read>
void readBothWays(const uint8_t* data, size_t size, Read read, std::vector<uint8_t> (*write)(const Image&)) {
  Image image;
  std::memset(&image, 0xA5, sizeof image);
  Image untouched = image;
  FileReport report;
  if (!read(data, size, image, report)) {
    if (report.error.empty() || std::memcmp(&image, &untouched, sizeof image) != 0) std::abort();
    return;
  }
  const std::vector<uint8_t> again = write(image);
  Image back;
  FileReport second;
  if (!read(again.data(), again.size(), back, second) || !second.warning.empty() ||
      std::memcmp(&back, &image, sizeof image) != 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  readBothWays<BankImage>(data, size, readBankFile, writeBankFile);
  readBothWays<ProgramImage>(data, size, readProgramFile, writeProgramFile);
  BankImage bank{};
  FileReport report;
  if (readBankFile(data, size, bank, report))
    for (const ProgramImage& p : bank.programs) checkProgram(p);
  ProgramImage program{};
  if (readProgramFile(data, size, program, report)) checkProgram(program);
  return 0;
}
