// The plug-in binary built beside the tests, opened like a host does (tools/hostkit).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "PluginLibrary.h"
#include "VelaVendorCalls.h"

// The binary built beside the tests.
PluginLibrary& builtPlugin();

// Dispatcher shorthand.
inline intptr_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// Hands a tuning's byte form to the plug-in as our tools do: "" when it is in force, else why not.
inline std::string setTuning(AEffect* effect, const std::vector<uint8_t>& tuning) {
  vela::vendor::TuningRecord record{sizeof record, static_cast<uint32_t>(tuning.size()),
                                    tuning.data(), {}};
  const intptr_t answer = dispatch(effect, effVendorSpecific, vela::vendor::kVendorIndex,
                                   vela::vendor::kSetTuning, &record);
  if (answer == 1) return "";
  return record.error[0] != '\0' ? record.error : "answered " + std::to_string(answer);
}
