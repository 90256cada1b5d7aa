#include <gtest/gtest.h>

#include "DVstUtils.h"

TEST(FourChars, PacksFirstCharacterHigh) { EXPECT_EQ(fourCharsToCode('V', 's', 't', 'P'), 0x56737450); }
