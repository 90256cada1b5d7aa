// The shared tables: reference entries, and hashes of the whole tables from an independent
// 60-digit computation (tests/data/tables_reference.py), so any maths library, compiler or
// target that built them differently fails here. The same test runs natively and under Wine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine_probe.h"

namespace {

uint64_t fnv1a(const void* data, size_t size) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<const unsigned char*>(data)[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}

// Every read of the stored quarter wave against the whole cycle's reference hash and entries.
TEST(EngineTables, SineTableMatchesHighPrecisionReference) {
  const std::vector<int32_t>& cycle = sineCycle();
  EXPECT_EQ(fnv1a(cycle.data(), sizeof(int32_t) * cycle.size()), 0xAC9596C651A06F66ull);
  struct Entry {
    int32_t index, value;
  };
  for (const Entry& e : {Entry{0, 0}, Entry{1, 3}, Entry{32767, 65536}, Entry{32768, 65536},
                         Entry{65536, 0}, Entry{98304, -65536}, Entry{131071, -3}}) {
    SCOPED_TRACE(e.index);
    EXPECT_EQ(cycle[e.index], e.value);
  }
  for (int32_t k = 0; k < 65536; ++k) ASSERT_EQ(cycle[k + 65536], -cycle[k]) << k;
  // Oscillator sums wrap in 32 bits: indices beyond one cycle read modulo the cycle.
  for (const uint32_t offset : {0x20000u, 0xA0000u, 0x7FFE0000u, 0xFFFE0000u}) {
    for (uint32_t k = 0; k < cycle.size(); ++k)
      ASSERT_EQ(synthTables().sine.at(k + offset), cycle[k]) << offset << " + " << k;
  }
}

TEST(EngineTables, SineRoutineIsFarFromEveryRoundingTie) {
  // If every unrounded entry stays 1e-6 away from a tie, any routine accurate to 1e-6 (ours is
  // about 1e-11) rounds to the same table. Also cross-check against the maths library.
  double closest = 1.0;
  for (int32_t step = 0; step <= 32768; ++step) {
    const double scaled = 65536.0 * sineOfStep(step);
    closest = std::min(closest, std::fabs(scaled - std::floor(scaled) - 0.5));
    const double library = 65536.0 * std::sin(step * (3.14159265358979323846 / 65536.0));
    ASSERT_NEAR(scaled, library, 1e-9) << step;
  }
  EXPECT_GT(closest, 1e-6);
}

TEST(EngineTables, NoteFrequencyReferenceEntries) {
  const float* f = synthTables().noteFrequencyTable;
  struct Entry {
    int32_t note;
    float hz;
  };
  for (const Entry& e :
       {Entry{0, 8.1757994f}, Entry{21, 27.5f}, Entry{57, 220.0f}, Entry{60, 261.62558f},
        Entry{69, 440.0f}, Entry{81, 880.0f}, Entry{127, 12543.854f}}) {
    SCOPED_TRACE(e.note);
    EXPECT_EQ(floatBits(f[e.note]), floatBits(e.hz));
  }
  EXPECT_EQ(fnv1a(f, sizeof(float) * kNumNotes), 0xDA3BC5C52E2FBA61ull);
}

TEST(EngineTables, PitchBendFactorsMatchHighPrecisionReference) {
  const float* bend = synthTables().pitchBendTable;
  EXPECT_EQ(fnv1a(bend, sizeof(float) * kPitchBendSteps), 0xCB4B57BEE2FF6B4Full);
  struct Entry {
    int32_t m;
    uint32_t bits;
  };
  for (const Entry& e :
       {Entry{0, 0x3F71A1BF}, Entry{32, 0x3F78B651}, Entry{63, 0x3F7FC4E1}, Entry{64, 0x3F800000},
        Entry{65, 0x3F801D96}, Entry{96, 0x3F83C02D}, Entry{128, 0x3F879C7D}}) {
    SCOPED_TRACE(e.m);
    EXPECT_EQ(floatBits(bend[e.m]), e.bits);
  }
  // The ends are exactly the ratio and its reciprocal; the centre exactly 1.
  EXPECT_EQ(bend[128], static_cast<float>(1.059463094359));
  EXPECT_EQ(bend[0], static_cast<float>(1.0 / 1.059463094359));
  EXPECT_EQ(pitchBendPower(0), 1.0);
}

}  // namespace
