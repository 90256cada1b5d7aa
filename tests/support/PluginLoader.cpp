#include "PluginLoader.h"

#ifndef VELA_PLUGIN_PATH
#define VELA_PLUGIN_PATH ""
#endif

PluginLibrary& builtPlugin() {
  static PluginLibrary library(VELA_PLUGIN_PATH);
  return library;
}
