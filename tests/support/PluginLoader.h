// The plug-in binary built beside the tests, opened like a host does (tools/hostkit).
#pragma once

#include <cstdint>

#include "DAEffect.h"
#include "PluginLibrary.h"

// The binary built beside the tests.
PluginLibrary& builtPlugin();

// Dispatcher shorthand.
inline intptr_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}
