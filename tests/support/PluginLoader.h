// Loads the built plug-in binary like a host: open the library, look up its entry point.
#pragma once

#include <string>

#include "DAEffect.h"

typedef AEffect*(VELA_CDECL* PluginEntry)(audioMasterCallback);

class PluginLibrary {
 public:
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  PluginEntry entry(const char* name) const;  // null when the symbol is missing
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The binary built beside the tests.
PluginLibrary& builtPlugin();

// Dispatcher shorthand.
inline intptr_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}
