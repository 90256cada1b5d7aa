// Bank (.fxb) and program (.fxp) files in their regular form, the way banks travel between hosts:
// big-endian header fields, then every program as its name and its 14 values as big-endian
// floats. Layout (offsets in bytes):
//
//   program file, 112 bytes             bank file, 3740 bytes
//   0   'CcnK'                          0    'CcnK'
//   4   size of the rest: 104           4    size of the rest: 3732
//   8   'FxCk'                          8    'FxBk'
//   12  version 1                       12   version 1, or 2 with the current program
//   16  'VelV'                          16   'VelV'
//   20  plug-in version (any)           20   plug-in version (any)
//   24  14 parameters                   24   32 programs
//   28  name, 28 bytes, zero-ended      28   current program (version 2), then zeros to 156
//   56  14 values                       156  32 program records as above, 112 bytes each
//
// Hosts that export a bank by stepping through the programs write version 1 and their own idea
// of the plug-in version; both read. Private-data ("opaque chunk") files are refused: VelaOrin
// hands hosts no chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ProgramBank.h"

constexpr size_t kProgramFileBytes = 56 + 4 * kNumParams;
constexpr size_t kBankFileBytes = 156 + kNumPrograms * kProgramFileBytes;

// Bank files are written as version 2, so the current program travels too.
std::vector<uint8_t> writeBankFile(const BankImage& image);
std::vector<uint8_t> writeProgramFile(const ProgramImage& image);

// What reading found. On a refusal `error` says what is wrong and at which byte, and the image
// passed in is left as it was. A value outside 0 to 1 is clamped and reported once in `warning`,
// as is a name longer than a program holds (cut to 23 characters).
struct FileReport {
  std::string error;
  std::string warning;
  bool hasCurrentProgram = false;  // a version 2 bank; its current program is in the image
};
bool readBankFile(const uint8_t* data, size_t size, BankImage& image, FileReport& report);
bool readProgramFile(const uint8_t* data, size_t size, ProgramImage& image, FileReport& report);
