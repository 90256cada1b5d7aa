#include "Lv2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>

#ifndef VELA_LV2_DIR
#define VELA_LV2_DIR ""
#endif

namespace {

constexpr size_t kSequenceBytes = 1 << 16;

LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<Lv2World*>(handle)->map(uri);
}

struct Features {
  LV2_URID_Map map{&Lv2World::get(), &mapUri};
  LV2_Feature mapFeature{LV2_URID__map, &map};
  const LV2_Feature* list[2] = {&mapFeature, nullptr};
};
const LV2_Feature* const* features() {
  static Features f;
  return f.list;
}

}  // namespace

Lv2World& Lv2World::get() {
  static Lv2World world;
  return world;
}

Lv2World::Lv2World() {
  world_ = lilv_world_new();
  // Only the build tree: an installed copy must never stand in for the one under test.
  LilvNode* path = lilv_new_string(world_, VELA_LV2_DIR);
  lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
  lilv_node_free(path);
  lilv_world_load_all(world_);
  LilvNode* uri = lilv_new_uri(world_, velalv2::kPluginUri);
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
  lilv_node_free(uri);
  if (plugin_ == nullptr) {
    error_ = std::string("no ") + velalv2::kPluginUri + " in " + VELA_LV2_DIR;
    return;
  }
  char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_bundle_uri(plugin_)), nullptr);
  const std::string expected = std::string(VELA_LV2_DIR) + "/VelaOrin.lv2/";
  if (bundle == nullptr || expected != bundle) {
    error_ = "plug-in found in " + std::string(bundle != nullptr ? bundle : "?") + ", not " + expected;
    plugin_ = nullptr;
  }
  lilv_free(bundle);
}

const LilvPlugin* Lv2World::loadPlugin(const std::string& bundle, const std::string& uri) {
  LilvNode* bundleUri = lilv_new_file_uri(world_, nullptr, bundle.c_str());
  lilv_world_load_bundle(world_, bundleUri);
  lilv_node_free(bundleUri);
  LilvNode* pluginUri = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), pluginUri);
  lilv_node_free(pluginUri);
  return plugin;
}

uint32_t Lv2World::map(const char* uri) {
  const auto at = std::find(uris_.begin(), uris_.end(), uri);
  if (at != uris_.end()) return static_cast<uint32_t>(at - uris_.begin() + 1);
  uris_.emplace_back(uri);
  return static_cast<uint32_t>(uris_.size());
}

std::vector<std::string> Lv2World::presetUris() const {
  std::vector<std::string> result;
  if (plugin_ == nullptr) return result;
  LilvNode* presetClass = lilv_new_uri(world_, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(plugin_, presetClass);
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(world_, preset);
    result.emplace_back(lilv_node_as_uri(preset));
  }
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
  std::sort(result.begin(), result.end());
  return result;
}

std::string Lv2World::presetLabel(const std::string& uri) const {
  LilvNode* preset = lilv_new_uri(world_, uri.c_str());
  LilvNode* label = lilv_new_uri(world_, LILV_NS_RDFS "label");
  LilvNode* value = lilv_world_get(world_, preset, label, nullptr);
  std::string text = value != nullptr ? lilv_node_as_string(value) : "";
  lilv_node_free(value);
  lilv_node_free(label);
  lilv_node_free(preset);
  return text;
}

Lv2Synth::Lv2Synth(double rate, const LilvPlugin* plugin)
    : plugin_(plugin), sequence_(kSequenceBytes / sizeof(uint64_t)) {
  if (plugin == nullptr) return;
  instance_ = lilv_plugin_instantiate(plugin, rate, features());
  if (instance_ == nullptr) return;
  LilvWorld* world = Lv2World::get().world();
  LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
  LilvNode* controlPort = lilv_new_uri(world, LV2_CORE__ControlPort);
  LilvNode* audioPort = lilv_new_uri(world, LV2_CORE__AudioPort);
  LilvNode* atomPort = lilv_new_uri(world, LV2_ATOM__AtomPort);
  controls_.assign(lilv_plugin_get_num_ports(plugin), 0.0f);
  size_t outputs = 0;
  for (uint32_t i = 0; i < controls_.size(); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    const bool isInput = lilv_port_is_a(plugin, port, input);
    if (isInput && lilv_port_is_a(plugin, port, controlPort)) {
      LilvNode* defaultValue = nullptr;
      lilv_port_get_range(plugin, port, &defaultValue, nullptr, nullptr);
      if (defaultValue != nullptr) controls_[i] = lilv_node_as_float(defaultValue);
      lilv_node_free(defaultValue);
      lilv_instance_connect_port(instance_, i, &controls_[i]);
    } else if (isInput && lilv_port_is_a(plugin, port, atomPort)) {
      lilv_instance_connect_port(instance_, i, sequence_.data());
    } else if (!isInput && lilv_port_is_a(plugin, port, audioPort) && outputs < 2) {
      outputs_[outputs++] = i;
    }
  }
  lilv_node_free(atomPort);
  lilv_node_free(audioPort);
  lilv_node_free(controlPort);
  lilv_node_free(input);
  clearSequence();
  activate();
}

Lv2Synth::~Lv2Synth() {
  if (instance_ == nullptr) return;
  deactivate();
  lilv_instance_free(instance_);
}

void Lv2Synth::activate() {
  if (!active_) lilv_instance_activate(instance_);
  active_ = true;
}

void Lv2Synth::deactivate() {
  if (active_) lilv_instance_deactivate(instance_);
  active_ = false;
}

void Lv2Synth::setPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                            uint32_t type) {
  auto* self = static_cast<Lv2Synth*>(user);
  LilvNode* name = lilv_new_string(Lv2World::get().world(), symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(self->plugin_, name);
  lilv_node_free(name);
  if (port == nullptr || type != Lv2World::get().map(LV2_ATOM__Float) || size != sizeof(float)) {
    self->presetOk_ = false;
    return;
  }
  std::memcpy(&self->controls_[lilv_port_get_index(self->plugin_, port)], value, sizeof(float));
}

bool Lv2Synth::applyPreset(const std::string& uri) {
  Lv2World& w = Lv2World::get();
  LilvNode* node = lilv_new_uri(w.world(), uri.c_str());
  LV2_URID_Map* map = const_cast<LV2_URID_Map*>(
      static_cast<const LV2_URID_Map*>(features()[0]->data));
  LilvState* state = lilv_state_new_from_world(w.world(), map, node);
  lilv_node_free(node);
  if (state == nullptr) return false;
  presetOk_ = true;
  lilv_state_restore(state, instance_, &Lv2Synth::setPortValue, this, 0, features());
  lilv_state_free(state);
  return presetOk_;
}

void Lv2Synth::atom(int64_t frame, uint32_t type, const void* body, uint32_t size) {
  auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data());
  alignas(8) uint8_t storage[sizeof(LV2_Atom_Event) + 256] = {};
  if (size > 256) return;
  auto* event = reinterpret_cast<LV2_Atom_Event*>(storage);
  event->time.frames = frame;
  event->body.type = type;
  event->body.size = size;
  std::memcpy(event + 1, body, size);
  lv2_atom_sequence_append_event(seq, kSequenceBytes - sizeof(LV2_Atom), event);
}

void Lv2Synth::midi(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  const uint8_t bytes[3] = {status, data1, data2};
  atom(frame, Lv2World::get().map(LV2_MIDI__MidiEvent), bytes, 3);
}

void Lv2Synth::run(float* left, float* right, uint32_t frames) {
  lilv_instance_connect_port(instance_, outputs_[0], left);
  lilv_instance_connect_port(instance_, outputs_[1], right);
  lilv_instance_run(instance_, frames);
  clearSequence();
}

void Lv2Synth::clearSequence() {
  auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data());
  seq->atom.type = Lv2World::get().map(LV2_ATOM__Sequence);
  lv2_atom_sequence_clear(seq);
  seq->body.unit = 0;
  seq->body.pad = 0;
}
