// The factory library for hosts' preset browsers. Where the installed program files are found
// beside the plug-in (../../share/velaorin/presets from the .clap, links resolved, as in a prefix
// or the build tree) they are listed as a folder of files, the form every host with preset
// browsing reads; otherwise as 32 presets inside the plug-in. Never both: a host would show every
// sound twice. Everything answered here is static data or the one file asked about: no engine,
// no window, nothing asked of the user.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "BankFiles.h"
#include "ClapPlugin.h"
#include "FactoryLibrary.h"
#include "VelaIdentity.h"

namespace velaclap {
namespace {

std::string folder;  // written by entry init only, which runs alone

constexpr clap_preset_discovery_provider_descriptor kProviderDescriptor = {
    CLAP_VERSION, "velaorin.VelaOrin.presets", "VelaOrin factory sounds", vela::identity::kVendor};
constexpr clap_universal_plugin_id kPluginIdRecord = {"clap", kPluginId};
constexpr char kLocationName[] = "Factory";

// Load keys of the presets inside the plug-in: "factory/00" ... "factory/31", by table row.
constexpr auto kLoadKeys = [] {
  std::array<std::array<char, 11>, kFactorySoundCount> keys{};
  for (int32_t n = 0; n < kFactorySoundCount; ++n) {
    const char text[] = "factory/";
    for (int i = 0; i < 8; ++i) keys[static_cast<size_t>(n)][static_cast<size_t>(i)] = text[i];
    keys[static_cast<size_t>(n)][8] = static_cast<char>('0' + n / 10);
    keys[static_cast<size_t>(n)][9] = static_cast<char>('0' + n % 10);
  }
  return keys;
}();

void describe(const clap_preset_discovery_metadata_receiver* receiver, SoundKind kind) {
  receiver->add_feature(receiver, "instrument");
  receiver->add_feature(receiver, "synthesizer");
  receiver->add_feature(receiver, soundKindName(kind));
}

// [provider's thread]
bool providerInit(const clap_preset_discovery_provider* provider) {
  const auto* indexer = static_cast<const clap_preset_discovery_indexer*>(provider->provider_data);
  if (indexer == nullptr || indexer->declare_location == nullptr) return false;
  if (!folder.empty()) {
    if (indexer->declare_filetype == nullptr) return false;
    const clap_preset_discovery_filetype programs = {"VelaOrin program",
                                                     "one program of VelaOrin", "fxp"};
    const clap_preset_discovery_location files = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT,
                                                  kLocationName, CLAP_PRESET_DISCOVERY_LOCATION_FILE,
                                                  folder.c_str()};
    return indexer->declare_filetype(indexer, &programs) && indexer->declare_location(indexer, &files);
  }
  const clap_preset_discovery_location inside = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT,
                                                 kLocationName, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                                                 nullptr};
  return indexer->declare_location(indexer, &inside);
}

void providerDestroy(const clap_preset_discovery_provider* provider) {
  delete const_cast<clap_preset_discovery_provider*>(provider);
}

// Which factory sound a program file holds, by its values; -1 for a program of the user's.
int32_t factorySoundOf(const ProgramImage& image) {
  for (int32_t n = 0; n < kFactorySoundCount; ++n)
    if (std::equal(std::begin(image.values), std::end(image.values),
                   std::begin(kFactorySounds[static_cast<size_t>(n)].values)))
      return n;
  return -1;
}

bool providerMetadata(const clap_preset_discovery_provider*, uint32_t kind, const char* location,
                      const clap_preset_discovery_metadata_receiver* receiver) {
  if (receiver == nullptr) return false;
  if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && (location == nullptr || location[0] == '\0')) {
    for (int32_t n = 0; n < kFactorySoundCount; ++n) {
      const FactorySound& sound = kFactorySounds[static_cast<size_t>(n)];
      if (!receiver->begin_preset(receiver, sound.name, kLoadKeys[static_cast<size_t>(n)].data()))
        break;
      receiver->add_plugin_id(receiver, &kPluginIdRecord);
      describe(receiver, sound.kind);
    }
    return true;
  }
  if (kind != CLAP_PRESET_DISCOVERY_LOCATION_FILE || location == nullptr) return false;
  // One program file: its name is the preset's.
  std::vector<uint8_t> bytes;
  if (std::FILE* file = std::fopen(location, "rb")) {
    uint8_t buffer[1024];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() <= kProgramFileBytes)
      bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
  }
  ProgramImage image{};
  FileReport report;
  if (!readProgramFile(bytes.data(), bytes.size(), image, report)) {
    receiver->on_error(receiver, 0, report.error.empty() ? "cannot read the file" : report.error.c_str());
    return false;
  }
  if (receiver->begin_preset(receiver, image.name, nullptr)) {
    const int32_t sound = factorySoundOf(image);
    receiver->add_plugin_id(receiver, &kPluginIdRecord);
    if (sound >= 0) describe(receiver, kFactorySounds[static_cast<size_t>(sound)].kind);
  }
  return true;
}

const void* providerExtension(const clap_preset_discovery_provider*, const char*) { return nullptr; }

// [thread-safe]
uint32_t factoryCount(const clap_preset_discovery_factory*) { return 1; }
const clap_preset_discovery_provider_descriptor* factoryDescriptor(
    const clap_preset_discovery_factory*, uint32_t index) {
  return index == 0 ? &kProviderDescriptor : nullptr;
}
const clap_preset_discovery_provider* factoryCreate(const clap_preset_discovery_factory*,
                                                    const clap_preset_discovery_indexer* indexer,
                                                    const char* id) {
  if (indexer == nullptr || id == nullptr || std::strcmp(id, kProviderDescriptor.id) != 0)
    return nullptr;
  // A provider of its own for every call: hosts index from several threads at once.
  return new (std::nothrow) clap_preset_discovery_provider{
      &kProviderDescriptor, const_cast<clap_preset_discovery_indexer*>(indexer), providerInit,
      providerDestroy, providerMetadata, providerExtension};
}

const clap_preset_discovery_factory kFactory = {factoryCount, factoryDescriptor, factoryCreate};

}  // namespace

void setPluginPath(const char* path) {
  folder.clear();
  if (path == nullptr || path[0] == '\0') return;
  try {
    std::error_code error;
    const std::filesystem::path plugin = std::filesystem::weakly_canonical(path, error);
    if (error) return;
    const std::filesystem::path presets =
        (plugin.parent_path() / ".." / ".." / "share" / "velaorin" / "presets").lexically_normal();
    if (std::filesystem::is_directory(presets, error)) folder = presets.string();
  } catch (...) {
    folder.clear();  // a path the system cannot represent: the presets inside the plug-in
  }
}

const std::string& presetFolder() { return folder; }

const clap_preset_discovery_factory& presetDiscoveryFactory() { return kFactory; }

}  // namespace velaclap
