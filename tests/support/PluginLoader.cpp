#include "PluginLoader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

PluginLibrary::PluginLibrary(const std::string& path) {
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
  if (handle_ == nullptr) error_ = "LoadLibrary failed: " + std::to_string(GetLastError());
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) error_ = dlerror();
#endif
}

PluginLibrary::~PluginLibrary() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

PluginEntry PluginLibrary::entry(const char* name) const {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<PluginEntry>(
      reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name)));
#else
  return reinterpret_cast<PluginEntry>(dlsym(handle_, name));
#endif
}

#ifndef VELA_PLUGIN_PATH
#define VELA_PLUGIN_PATH ""
#endif

PluginLibrary& builtPlugin() {
  static PluginLibrary library(VELA_PLUGIN_PATH);
  return library;
}
