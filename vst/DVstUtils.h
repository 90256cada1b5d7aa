// Four-character codes and the two-decimal text of parameter displays.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t fourCharsToCode(char c1, char c2, char c3, char c4) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(c1)) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c2)) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c3)) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(c4)));
}

// Longest text floatToFixedText can write, terminator included (-3.4e38 with two decimals).
constexpr size_t kFixedTextMax = 48;

// Writes `value` with exactly two decimals: the float's exact value is first taken to 18
// significant digits (ties to even), then to two decimals (halves away from zero), so 0.125
// gives "0.13". The buffer must hold kFixedTextMax bytes.
void floatToFixedText(float value, char* text);

// The regional decimal separator read when the library was loaded ('.' when there is none).
char decimalSeparator();
// Tests only: replaces the separator read at load.
void setDecimalSeparatorForTesting(char separator);
