// The program bank as bytes: what is written reads back identically, and anything else is
// refused with its reason, leaving the destination as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "BankFiles.h"
#include "ProgramBank.h"

namespace {

bool sameImage(const ProgramImage& a, const ProgramImage& b) {
  return std::memcmp(a.values, b.values, sizeof a.values) == 0 &&
         std::strcmp(a.name, b.name) == 0;
}

// An edited bank: odd values, names of every length up to 23, program 5 current.
void edit(ProgramBank& bank) {
  for (int32_t n = 0; n < kNumPrograms; ++n) {
    bank.setProgram(n);
    for (int32_t i = 0; i < kNumParams; ++i)
      bank.setParameter(i, static_cast<float>((n * 31 + i * 7) % 101) / 100.0f);
    bank.setProgramName(std::string(static_cast<size_t>(n % 24), static_cast<char>('a' + n % 26))
                            .c_str());
  }
  bank.setProgram(5);
}

TEST(ProgramBank, BankAndProgramBytesReadBackIdentically) {
  ProgramBank bank;
  edit(bank);
  const BankImage saved = bank.bankImage();
  const std::vector<uint8_t> bytes = encodeBank(saved);

  BankImage read{};
  std::string error;
  ASSERT_TRUE(decodeBank(bytes.data(), bytes.size(), read, &error)) << error;
  ProgramBank restored;
  restored.restoreBank(read);
  const BankImage again = restored.bankImage();
  EXPECT_EQ(again.currentProgram, 5);
  EXPECT_EQ(restored.getProgram(), 5);
  for (int32_t n = 0; n < kNumPrograms; ++n)
    EXPECT_TRUE(sameImage(again.programs[n], saved.programs[n])) << "program " << n;
  EXPECT_EQ(encodeBank(again), bytes);

  const std::vector<uint8_t> one = encodeProgram(bank.programImage(7));
  ProgramImage program{};
  ASSERT_TRUE(decodeProgram(one.data(), one.size(), program, &error)) << error;
  restored.setProgram(2);
  restored.restoreProgram(program);
  EXPECT_TRUE(sameImage(restored.programImage(2), saved.programs[7]));
  EXPECT_TRUE(sameImage(restored.programImage(7), saved.programs[7]));
  EXPECT_EQ(restored.getParameter(kCutOff), saved.programs[7].values[kCutOff]);
}

// The engine hears a restored bank as it hears a program change.
TEST(ProgramBank, RestoredValuesReachTheEngine) {
  ProgramBank bank, source;
  VelaEngine engine;
  bank.applyPending(engine);
  edit(source);
  bank.restoreBank(source.bankImage());
  bank.applyPending(engine);
  for (int32_t i = 0; i < kNumParams; ++i)
    EXPECT_EQ(engine.getParameter(i), source.getParameter(i)) << "parameter " << i;
}

void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void putFloat(std::vector<uint8_t>& b, size_t at, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  putU32(b, at, bits);
}

TEST(ProgramBank, EveryDamageIsRefusedAndChangesNothing) {
  // Bank: header 16 bytes, counts and current program to 28, then 80 bytes a program (name,
  // then 14 values). A single program: header, count, then the program from byte 20.
  constexpr size_t kFirstProgram = 28, kSingleProgram = 20, kName = 24;
  using Damage = std::function<void(std::vector<uint8_t>&)>;
  struct Row {
    const char* name;
    bool bank;
    Damage damage;
    const char* reason;
    size_t byte;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Row rows[] = {
      {"wrong magic", true, [](auto& b) { b[0] = 'X'; }, "magic", 0},
      {"a program given as a bank", true,
       [](auto& b) { b = encodeProgram(ProgramBank().programImage(0)); }, "magic", 0},
      {"a bank given as a program", false,
       [](auto& b) { b = encodeBank(ProgramBank().bankImage()); }, "magic", 0},
      {"unknown version", true, [](auto& b) { putU32(b, 4, 2); }, "version", 4},
      {"another plug-in", true, [](auto& b) { b[11] = 'X'; }, "another plug-in", 8},
      {"size field wrong", true, [](auto& b) { putU32(b, 12, 2587); }, "size", 12},
      {"cut short", true, [](auto& b) { b.resize(b.size() - 1); }, "size", 12},
      {"trailing bytes", false, [](auto& b) { b.push_back(0); }, "size", 12},
      {"only a few bytes", true, [](auto& b) { b.resize(6); }, "ends early", 4},
      {"nothing", true, [](auto& b) { b.clear(); }, "magic", 0},
      {"31 programs", true, [](auto& b) { putU32(b, 16, 31); }, "number of programs", 16},
      {"13 parameters", true, [](auto& b) { putU32(b, 20, 13); }, "number of parameters", 20},
      {"13 parameters in a program", false, [](auto& b) { putU32(b, 16, 13); },
       "number of parameters", 16},
      {"current program 32", true, [](auto& b) { putU32(b, 24, 32); }, "current program", 24},
      {"a name without its terminator", true,
       [](auto& b) { std::memset(&b[kFirstProgram + 80 * 3], 'A', kName); }, "terminator",
       kFirstProgram + 80 * 3},
      {"NaN", true, [&](auto& b) { putFloat(b, kFirstProgram + 80 + kName + 8, nan); },
       "finite", kFirstProgram + 80 + kName + 8},
      {"infinity in a program", false,
       [&](auto& b) { putFloat(b, kSingleProgram + kName, inf); }, "finite",
       kSingleProgram + kName},
      {"above 1", true, [](auto& b) { putFloat(b, kFirstProgram + 80 * 31 + kName + 52, 1.5f); },
       "outside 0 to 1", kFirstProgram + 80 * 31 + kName + 52},
      {"below 0", false, [](auto& b) { putFloat(b, kSingleProgram + kName + 4, -0.01f); },
       "outside 0 to 1", kSingleProgram + kName + 4},
  };
  ProgramBank edited;
  edit(edited);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> bytes =
        row.bank ? encodeBank(edited.bankImage()) : encodeProgram(edited.programImage(3));
    row.damage(bytes);
    std::string error;
    bool read;
    if (row.bank) {
      BankImage image = ProgramBank().bankImage(), untouched = image;
      read = decodeBank(bytes.data(), bytes.size(), image, &error);
      EXPECT_EQ(std::memcmp(&image, &untouched, sizeof image), 0);
    } else {
      ProgramImage image = ProgramBank().programImage(1), untouched = image;
      read = decodeProgram(bytes.data(), bytes.size(), image, &error);
      EXPECT_EQ(std::memcmp(&image, &untouched, sizeof image), 0);
    }
    EXPECT_FALSE(read);
    EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    EXPECT_NE(error.find("(byte " + std::to_string(row.byte) + ")"), std::string::npos) << error;
  }
}

// Bank and program files (.fxb, .fxp): ours read back identically, so does a bank written the
// way hosts export one by stepping through the programs, and every damage is refused by name
// and byte, leaving the image as it was.
void putBigEndian(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void putBigEndianFloat(std::vector<uint8_t>& b, size_t at, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  putBigEndian(b, at, bits);
}

// A regular bank as a host writes it from getProgramName and getParameter: version 1, the
// host's own version in the plug-in version field, names cut to 23 characters, zeros after them.
std::vector<uint8_t> hostExportedBank(const BankImage& bank, uint32_t hostVersion) {
  std::vector<uint8_t> b(156 + 32 * 112, 0);
  auto tag = [&](size_t at, const char* four) { std::memcpy(&b[at], four, 4); };
  tag(0, "CcnK");
  putBigEndian(b, 4, static_cast<uint32_t>(b.size() - 8));
  tag(8, "FxBk");
  putBigEndian(b, 12, 1);
  tag(16, "VelV");
  putBigEndian(b, 20, hostVersion);
  putBigEndian(b, 24, 32);
  for (size_t n = 0; n < 32; ++n) {
    const size_t at = 156 + n * 112;
    tag(at, "CcnK");
    putBigEndian(b, at + 4, 104);
    tag(at + 8, "FxCk");
    putBigEndian(b, at + 12, 1);
    tag(at + 16, "VelV");
    putBigEndian(b, at + 20, hostVersion);
    putBigEndian(b, at + 24, 14);
    std::memcpy(&b[at + 28], bank.programs[n].name, std::strlen(bank.programs[n].name));
    for (size_t i = 0; i < 14; ++i) putBigEndianFloat(b, at + 56 + 4 * i, bank.programs[n].values[i]);
  }
  return b;
}

TEST(BankFiles, OursAndHostExportsReadBackIdentically) {
  ProgramBank bank;
  edit(bank);
  const BankImage saved = bank.bankImage();
  const std::vector<uint8_t> bytes = writeBankFile(saved);
  ASSERT_EQ(bytes.size(), 3740u);
  FileReport report;
  BankImage read{};
  ASSERT_TRUE(readBankFile(bytes.data(), bytes.size(), read, report)) << report.error;
  EXPECT_EQ(report.warning, "");
  EXPECT_TRUE(report.hasCurrentProgram);
  EXPECT_EQ(read.currentProgram, 5);
  for (int32_t n = 0; n < kNumPrograms; ++n)
    EXPECT_TRUE(sameImage(read.programs[n], saved.programs[n])) << "program " << n;
  EXPECT_EQ(writeBankFile(read), bytes);

  for (uint32_t hostVersion : {1u, 2400u, 0xFFFFFFFFu}) {
    const std::vector<uint8_t> exported = hostExportedBank(saved, hostVersion);
    BankImage fromHost{};
    ASSERT_TRUE(readBankFile(exported.data(), exported.size(), fromHost, report)) << report.error;
    EXPECT_FALSE(report.hasCurrentProgram);
    for (int32_t n = 0; n < kNumPrograms; ++n)
      EXPECT_TRUE(sameImage(fromHost.programs[n], saved.programs[n])) << "program " << n;
    // With our version in the records, the same records as our file, byte for byte.
    if (hostVersion == 1) {
      EXPECT_TRUE(std::equal(exported.begin() + 156, exported.end(), bytes.begin() + 156));
    }
  }

  const std::vector<uint8_t> one = writeProgramFile(saved.programs[7]);
  ASSERT_EQ(one.size(), 112u);
  ProgramImage program{};
  ASSERT_TRUE(readProgramFile(one.data(), one.size(), program, report)) << report.error;
  EXPECT_TRUE(sameImage(program, saved.programs[7]));
  EXPECT_TRUE(std::equal(one.begin(), one.end(), bytes.begin() + 156 + 7 * 112));
}

TEST(BankFiles, DamageIsRefusedByNameAndByteAndValuesAreClampedWithOneWarning) {
  constexpr size_t kRecord = 156, kValues = 56;
  using Damage = std::function<void(std::vector<uint8_t>&)>;
  struct Row {
    const char* name;
    bool bank;
    Damage damage;
    const char* message;  // empty: read, with `warning`
    size_t byte;
    const char* warning;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Row rows[] = {
      {"wrong magic", true, [](auto& b) { b[0] = 'c'; }, "wrong magic", 0, ""},
      {"magic in the wrong byte order", false, [](auto& b) { std::memcpy(&b[0], "KncC", 4); },
       "wrong magic", 0, ""},
      {"wrong kind", true, [](auto& b) { std::memcpy(&b[8], "FxBX", 4); }, "wrong magic: 'FxBX'",
       8, ""},
      {"a program file given as a bank", true,
       [](auto& b) { b = writeProgramFile(ProgramBank().programImage(0)); },
       "a program file, not a bank", 8, ""},
      {"a bank file given as a program", false,
       [](auto& b) { b = writeBankFile(ProgramBank().bankImage()); }, "a bank file, not a program",
       8, ""},
      {"opaque bank", true, [](auto& b) { std::memcpy(&b[8], "FBCh", 4); }, "opaque chunk", 8, ""},
      {"opaque program", false, [](auto& b) { std::memcpy(&b[8], "FPCh", 4); }, "opaque chunk", 8,
       ""},
      {"another plug-in", true, [](auto& b) { std::memcpy(&b[16], "Podo", 4); },
       "another plug-in ('Podo')", 16, ""},
      {"another plug-in in a record", true,
       [](auto& b) { std::memcpy(&b[kRecord + 3 * 112 + 16], "Podo", 4); }, "another plug-in",
       kRecord + 3 * 112 + 16, ""},
      {"unknown bank version", true, [](auto& b) { putBigEndian(b, 12, 3); }, "unknown version 3",
       12, ""},
      {"version 2 program", false, [](auto& b) { putBigEndian(b, 12, 2); }, "unknown version 2",
       12, ""},
      {"16 programs", true, [](auto& b) { putBigEndian(b, 24, 16); },
       "the bank holds 16 programs; VelaOrin has 32", 24, ""},
      {"13 parameters", false, [](auto& b) { putBigEndian(b, 24, 13); },
       "the program has 13 parameters; VelaOrin has 14", 24, ""},
      {"13 parameters in a record", true, [](auto& b) { putBigEndian(b, kRecord + 24, 13); },
       "13 parameters", kRecord + 24, ""},
      {"size field", true, [](auto& b) { putBigEndian(b, 4, 3740); }, "wrong size", 4, ""},
      {"record size field", true, [](auto& b) { putBigEndian(b, kRecord + 31 * 112 + 4, 108); },
       "wrong size", kRecord + 31 * 112 + 4, ""},
      {"cut short", true, [](auto& b) { b.resize(b.size() - 4); }, "wrong size", 4, ""},
      {"trailing bytes", false, [](auto& b) { b.push_back(0); }, "and holds 105", 4, ""},
      {"a few bytes", true, [](auto& b) { b.resize(10); }, "ends early, after 10 bytes", 10, ""},
      {"nothing", false, [](auto& b) { b.clear(); }, "ends early", 0, ""},
      {"current program 32", true, [](auto& b) { putBigEndian(b, 28, 32); },
       "current program 32 is out of range", 28, ""},
      {"a name without its terminator", true,
       [](auto& b) { std::memset(&b[kRecord + 112 * 9 + 28], 'A', 28); }, "no terminator",
       kRecord + 112 * 9 + 28, ""},
      {"NaN", true, [&](auto& b) { putBigEndianFloat(b, kRecord + 112 + kValues + 8, nan); },
       "not a finite number", kRecord + 112 + kValues + 8, ""},
      {"infinity", false,
       [](auto& b) { putBigEndianFloat(b, kValues, std::numeric_limits<float>::infinity()); },
       "not a finite number", kValues, ""},
      {"values beyond 0 to 1", true,
       [](auto& b) {
         putBigEndianFloat(b, kRecord + 112 * 2 + kValues + 4, 1.5f);
         putBigEndianFloat(b, kRecord + 112 * 30 + kValues, -0.25f);
       },
       "", 0, "2 values outside 0 to 1 clamped (the first at byte 440)"},
      {"a 27-character name", false, [](auto& b) { std::memset(&b[28], 'n', 27); }, "", 0,
       "a name longer than 23 characters cut (byte 28)"},
  };
  ProgramBank edited;
  edit(edited);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<uint8_t> bytes =
        row.bank ? writeBankFile(edited.bankImage()) : writeProgramFile(edited.programImage(3));
    row.damage(bytes);
    FileReport report;
    bool read;
    if (row.bank) {
      BankImage image = ProgramBank().bankImage(), untouched = image;
      read = readBankFile(bytes.data(), bytes.size(), image, report);
      if (!read) {
        EXPECT_EQ(std::memcmp(&image, &untouched, sizeof image), 0);
      } else {
        EXPECT_EQ(image.programs[2].values[1], 1.0f);
        EXPECT_EQ(image.programs[30].values[0], 0.0f);
      }
    } else {
      ProgramImage image = ProgramBank().programImage(1), untouched = image;
      read = readProgramFile(bytes.data(), bytes.size(), image, report);
      if (!read) {
        EXPECT_EQ(std::memcmp(&image, &untouched, sizeof image), 0);
      } else {
        EXPECT_EQ(std::string(image.name), std::string(23, 'n'));
      }
    }
    EXPECT_EQ(read, row.message[0] == '\0') << report.error;
    EXPECT_EQ(report.warning, row.warning);
    if (!read) {
      EXPECT_NE(report.error.find(row.message), std::string::npos) << report.error;
      EXPECT_NE(report.error.find("(byte " + std::to_string(row.byte) + ")"), std::string::npos)
          << report.error;
    }
  }
}

}  // namespace
