// VelaOrin.clap's one export: the entry record, with the plug-in factory (one plug-in) and the
// preset-discovery factory behind it.
#include <cstring>
#include <mutex>
#include <new>

#include "ClapPlugin.h"

namespace {

using namespace clapi;

std::mutex entryMutex;
int entryUsers = 0;

// [any thread, alone] Cheap: an indexing process may load the file only to list presets.
bool entryInit(const char* path) {
  const std::lock_guard<std::mutex> lock(entryMutex);
  if (entryUsers++ == 0) velaclap::setPluginPath(path);
  return true;
}

void entryDeinit() {
  const std::lock_guard<std::mutex> lock(entryMutex);
  if (entryUsers > 0) --entryUsers;
}

// [thread-safe]
uint32_t pluginCount(const clap_plugin_factory*) { return 1; }
const clap_plugin_descriptor* pluginDescriptor(const clap_plugin_factory*, uint32_t index) {
  return index == 0 ? &velaclap::pluginDescriptor() : nullptr;
}
const clap_plugin* createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) {
  if (host == nullptr || id == nullptr || std::strcmp(id, velaclap::kPluginId) != 0) return nullptr;
  auto* plugin = new (std::nothrow) velaclap::ClapPlugin(host);
  return plugin != nullptr ? plugin->clapPlugin() : nullptr;
}
const clap_plugin_factory kPluginFactory = {pluginCount, pluginDescriptor, createPlugin};

const void* entryFactory(const char* id) {
  if (id == nullptr) return nullptr;
  if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kPluginFactory;
  if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
      std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
    return &velaclap::presetDiscoveryFactory();
  return nullptr;
}

}  // namespace

#if defined(_WIN32)
#define VELA_CLAP_EXPORT
#else
#define VELA_CLAP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VELA_CLAP_EXPORT const clapi::clap_plugin_entry clap_entry = {
    clapi::CLAP_VERSION, entryInit, entryDeinit, entryFactory};
