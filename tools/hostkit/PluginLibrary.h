// Opens a plug-in binary the way a host does (every symbol resolved at once) and looks up its
// entry point, or any other symbol (the CLAP host's clap_entry).
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
  void* symbol(const char* name) const;       // null when the symbol is missing
  PluginEntry entry(const char* name) const;  // likewise
  // Current hosts try "VSTPluginMain" first and fall back to "main".
  PluginEntry hostEntry() const;
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};
