// The 14 parameters: one row each, read by the synthesizer (names, programs, record order) and
// by the editor panel (stored value positions, initial values). Adding or renaming a parameter
// happens here; only its engine mapping and its panel control live elsewhere.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

// Parameter indices as the host sees them; kParameters has one row per index, in this order.
enum VelaParam : int32_t {
  kMod1 = 0,
  kMod2,
  kFB1,
  kFB2,
  kA,
  kD,
  kS,
  kR,
  kCutOff,
  kQ,
  kType,
  kEnv,
  kM1S,
  kM2S,
};

struct ParameterInfo {
  VelaParam index;
  const char* name;
  int32_t recordSlot;  // position in a program record and among the live values
  int32_t replayStep;  // when setProgram replays a program: record order, but "Env" after "Type"
  float initial;       // in a new program, and on a new editor panel
  float ethDrm;        // in the factory program "Eth Drm"
};

inline constexpr ParameterInfo kParameters[] = {
    {kMod1, "Mod1", 3, 4, 0.5f, 5.0f / 24.0f},
    {kMod2, "Mod2", 4, 5, 0.5f, 1.0f},
    {kFB1, "FB1", 5, 6, 0.0f, 1.0f},
    {kFB2, "FB2", 6, 7, 0.0f, 0.0f},
    {kA, "A", 7, 8, 0.1f, 0.0f},
    {kD, "D", 8, 9, 0.1f, 0.6f},
    {kS, "S", 9, 10, 0.5f, 0.0f},
    {kR, "R", 10, 11, 0.1f, 0.24f},
    {kCutOff, "CutOff", 0, 0, 0.5f, 0.8f},
    {kQ, "Q", 1, 1, 0.0f, 0.0f},
    {kType, "Type", 2, 2, 0.0f, 0.0f},
    {kEnv, "Env", 11, 3, 0.5f, 1.0f},
    {kM1S, "M1S", 12, 12, 1.0f, 0.0f},
    {kM2S, "M2S", 13, 13, 1.0f, 1.0f},
};

constexpr int32_t kNumParams = static_cast<int32_t>(std::size(kParameters));

// Every parameter has the same label and display rule (the live value in fixed notation).
constexpr const char* kParameterLabel = "/1";

// Host indices in replay order.
inline constexpr std::array<int32_t, kNumParams> kReplayOrder = [] {
  std::array<int32_t, kNumParams> order{};
  for (int32_t i = 0; i < kNumParams; ++i) order[kParameters[i].replayStep] = i;
  return order;
}();

// Values by record slot, from one column of the table.
template <float ParameterInfo::*kColumn>
constexpr std::array<float, kNumParams> valuesInRecordOrder() {
  std::array<float, kNumParams> values{};
  for (const ParameterInfo& p : kParameters) values[p.recordSlot] = p.*kColumn;
  return values;
}

// Whether one column numbers the parameters 0..13 with each number once.
constexpr bool isPermutation(int32_t ParameterInfo::*column) {
  bool taken[kNumParams] = {};
  for (const ParameterInfo& p : kParameters) {
    const int32_t n = p.*column;
    if (n < 0 || n >= kNumParams || taken[n]) return false;
    taken[n] = true;
  }
  return true;
}
constexpr bool rowsInIndexOrder() {
  for (int32_t i = 0; i < kNumParams; ++i)
    if (kParameters[i].index != i) return false;
  return true;
}
static_assert(rowsInIndexOrder() && isPermutation(&ParameterInfo::recordSlot) &&
              isPermutation(&ParameterInfo::replayStep));
