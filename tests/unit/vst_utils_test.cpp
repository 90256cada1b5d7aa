#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "DVstUtils.h"

namespace {

TEST(FourChars, PacksFirstCharacterIntoTheTopByte) {
  EXPECT_EQ(fourCharsToCode('V', 's', 't', 'P'), 0x56737450);
  EXPECT_EQ(fourCharsToCode('N', 'v', 'E', 'f'), 0x4E764566);
  EXPECT_EQ(fourCharsToCode('N', 'o', 'E', 'f'), 0x4E6F4566);
  EXPECT_EQ(fourCharsToCode('V', 'e', 'l', 'V'), 0x56656C56);
  EXPECT_EQ(fourCharsToCode('\xFF', '\x80', 0, 1), static_cast<int32_t>(0xFF800001u));
}

std::string fixed(float value) {
  char text[kFixedTextMax];
  std::memset(text, '#', sizeof text);
  floatToFixedText(value, text);
  return text;
}

class FixedText : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = decimalSeparator();
    setDecimalSeparatorForTesting('.');
  }
  void TearDown() override { setDecimalSeparatorForTesting(saved); }
  char saved = '.';
};

TEST_F(FixedText, TwoDecimalsWithHalvesAwayFromZero) {
  struct Row {
    float value;
    const char* text;
  };
  const Row rows[] = {
      {0.0f, "0.00"},       {-0.0f, "0.00"},      {-0.001f, "0.00"},   {-0.006f, "-0.01"},
      {0.5f, "0.50"},       {1.0f, "1.00"},       {0.125f, "0.13"},    {0.375f, "0.38"},
      {0.625f, "0.63"},     {0.005f, "0.00"},     {-0.25f, "-0.25"},   {0.1f, "0.10"},
      {5.0f / 24.0f, "0.21"}, {0.24f, "0.24"},    {0.995f, "1.00"},    {0.985f, "0.99"},
      {9.995f, "9.99"},     {99.999f, "100.00"},  {-1.5f, "-1.50"},    {1e-30f, "0.00"},
      {std::numeric_limits<float>::denorm_min(), "0.00"},
      {16777216.0f, "16777216.00"},
      // 18 significant digits, then zeros: the exact value is 100000002004087734272.
      {1e20f, "100000002004087734000.00"},
  };
  for (const Row& row : rows) EXPECT_EQ(fixed(row.value), row.text) << row.value;
}

TEST_F(FixedText, NonFiniteValues) {
  EXPECT_EQ(fixed(INFINITY), "INF");
  EXPECT_EQ(fixed(-INFINITY), "-INF");
  EXPECT_EQ(fixed(NAN), "NAN");
  EXPECT_EQ(fixed(-NAN), "NAN");
}

TEST_F(FixedText, LargestValueFitsTheBuffer) {
  std::string text = fixed(-std::numeric_limits<float>::max());
  EXPECT_EQ(text.size(), 43u);
  EXPECT_LT(text.size(), kFixedTextMax);
  EXPECT_EQ(text.substr(0, 20), "-3402823466385288600");
}

TEST_F(FixedText, UsesTheRegionalSeparator) {
  setDecimalSeparatorForTesting(',');
  EXPECT_EQ(fixed(0.5f), "0,50");
  EXPECT_EQ(fixed(-0.25f), "-0,25");
}

// Every two-decimal text the panel's grids can produce reads back as the value it shows.
TEST_F(FixedText, GridValuesRoundTrip) {
  for (int k = 0; k <= 100; ++k) {
    float value = static_cast<float>(k / 100.0);
    std::string text = fixed(value);
    EXPECT_NEAR(std::stod(text), k / 100.0, 1e-9) << k;
  }
}

}  // namespace
