// The program bank as bytes: what is written reads back identically, and anything else is
// refused with its reason, leaving the destination as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

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

}  // namespace
