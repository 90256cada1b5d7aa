#include "Lv2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kSequenceBytes = 1 << 16;
constexpr char kStateUri[] = "urn:velaorin:test-state";

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) { return Lv2World::get().map(uri); }
const char* unmapUri(LV2_URID_Unmap_Handle, LV2_URID id) { return Lv2World::get().unmap(id); }
LV2_URID_Map gMap{nullptr, &mapUri};
LV2_URID_Unmap gUnmap{nullptr, &unmapUri};
const LV2_Feature gMapFeature{LV2_URID__map, &gMap};
const LV2_Feature gUnmapFeature{LV2_URID__unmap, &gUnmap};

int logLine(LV2_Log_Handle, LV2_URID, const char* format, va_list args) {
  char text[1024];
  const int length = std::vsnprintf(text, sizeof text, format, args);
  Lv2World::get().log().emplace_back(text);
  return length;
}
int logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = logLine(handle, type, format, args);
  va_end(args);
  return length;
}
LV2_Log_Log gLog{nullptr, &logPrintf, &logLine};
const LV2_Feature gLogFeature{LV2_LOG__log, &gLog};
const LV2_Feature* const gFeatures[] = {&gMapFeature, &gUnmapFeature, &gLogFeature, nullptr};

}  // namespace

Lv2World& Lv2World::get() {
  static Lv2World world;
  return world;
}

Lv2World::Lv2World() : world_(lilv_world_new()) {
  // Only the build tree: an installed copy must never stand in for the one under test.
  LilvNode* path = lilv_new_string(world_, VELA_LV2_DIR);
  lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
  lilv_node_free(path);
  lilv_world_load_all(world_);
  LilvNode* uri = lilv_new_uri(world_, velalv2::kPluginUri);
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
  lilv_node_free(uri);
  if (plugin_ == nullptr) error_ = std::string("no ") + velalv2::kPluginUri + " in " + VELA_LV2_DIR;
}

const LilvPlugin* Lv2World::loadPlugin(const std::string& bundleDir, const std::string& uri) {
  LilvNode* bundle = lilv_new_file_uri(world_, nullptr, bundleDir.c_str());
  lilv_world_load_bundle(world_, bundle);
  lilv_node_free(bundle);
  LilvNode* node = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  return plugin;
}

uint32_t Lv2World::map(const char* uri) {
  const auto at = std::find(uris_.begin(), uris_.end(), uri);
  if (at != uris_.end()) return static_cast<uint32_t>(at - uris_.begin() + 1);
  uris_.emplace_back(uri);
  return static_cast<uint32_t>(uris_.size());
}

const char* Lv2World::unmap(uint32_t id) const {
  return id >= 1 && id <= uris_.size() ? uris_[id - 1].c_str() : nullptr;
}

std::vector<std::string> Lv2World::presetUris() const {
  std::vector<std::string> result;
  LilvNode* presetClass = lilv_new_uri(world_, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(plugin_, presetClass);
  LILV_FOREACH(nodes, i, presets) result.emplace_back(lilv_node_as_uri(lilv_nodes_get(presets, i)));
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
  std::sort(result.begin(), result.end());
  return result;
}

Lv2Synth::Lv2Synth(double rate, const LilvPlugin* plugin)
    : plugin_(plugin), sequence_(kSequenceBytes / sizeof(uint64_t)) {
  features_.assign(std::begin(gFeatures), std::end(gFeatures) - 1);
  features_.push_back(&scheduleFeature_);
  features_.push_back(nullptr);
  if (plugin == nullptr ||
      (instance_ = lilv_plugin_instantiate(plugin, rate, features_.data())) == nullptr)
    return;
  LilvWorld* world = Lv2World::get().world();
  LilvNode* types[] = {
      lilv_new_uri(world, LV2_CORE__InputPort), lilv_new_uri(world, LV2_CORE__ControlPort),
      lilv_new_uri(world, LV2_ATOM__AtomPort), lilv_new_uri(world, LV2_CORE__AudioPort)};
  controls_.assign(lilv_plugin_get_num_ports(plugin), 0.0f);
  size_t outputs = 0;
  for (uint32_t i = 0; i < controls_.size(); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    const bool input = lilv_port_is_a(plugin, port, types[0]);
    if (input && lilv_port_is_a(plugin, port, types[1])) {
      LilvNode* value = nullptr;
      lilv_port_get_range(plugin, port, &value, nullptr, nullptr);
      if (value != nullptr) controls_[i] = lilv_node_as_float(value);
      lilv_node_free(value);
      lilv_instance_connect_port(instance_, i, &controls_[i]);
    } else if (input && lilv_port_is_a(plugin, port, types[2])) {
      lilv_instance_connect_port(instance_, i, sequence_.data());
    } else if (!input && lilv_port_is_a(plugin, port, types[3]) && outputs < 2) {
      outputs_[outputs++] = i;
    }
  }
  for (LilvNode* type : types) lilv_node_free(type);
  clearSequence();
  activate(true);
}

Lv2Synth::~Lv2Synth() {
  if (instance_ == nullptr) return;
  activate(false);
  lilv_instance_free(instance_);
}

void Lv2Synth::activate(bool on) {
  if (on && !active_) lilv_instance_activate(instance_);
  if (!on && active_) lilv_instance_deactivate(instance_);
  active_ = on;
}

bool Lv2Synth::applyPreset(const std::string& uri, std::string* label) {
  LilvWorld* world = Lv2World::get().world();
  LilvNode* node = lilv_new_uri(world, uri.c_str());
  lilv_world_load_resource(world, node);
  LilvState* state = lilv_state_new_from_world(world, &gMap, node);
  lilv_node_free(node);
  if (state == nullptr) return false;
  if (label != nullptr) *label = lilv_state_get_label(state) != nullptr ? lilv_state_get_label(state) : "";
  return restore(state);
}

void Lv2Synth::atom(int64_t frame, uint32_t type, const void* body, uint32_t size) {
  alignas(8) uint8_t event[sizeof(LV2_Atom_Event) + 8192] = {};
  if (size > 8192) return;
  auto* header = reinterpret_cast<LV2_Atom_Event*>(event);
  *header = {{frame}, {size, type}};
  std::memcpy(header + 1, body, size);
  lv2_atom_sequence_append_event(reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data()),
                                 kSequenceBytes - sizeof(LV2_Atom), header);
}

void Lv2Synth::midi(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2) {
  const uint8_t bytes[3] = {status, data1, data2};
  atom(frame, Lv2World::get().map(LV2_MIDI__MidiEvent), bytes, 3);
}

void Lv2Synth::patchSet(int64_t frame, const char* property, const std::string& path, bool asPath) {
  Lv2World& world = Lv2World::get();
  alignas(8) uint8_t buffer[8192];
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, &gMap);
  lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
  LV2_Atom_Forge_Frame object;
  const LV2_Atom_Forge_Ref ref = lv2_atom_forge_object(&forge, &object, 0, world.map(LV2_PATCH__Set));
  lv2_atom_forge_key(&forge, world.map(LV2_PATCH__property));
  lv2_atom_forge_urid(&forge, world.map(property));
  lv2_atom_forge_key(&forge, world.map(LV2_PATCH__value));
  if (asPath)
    lv2_atom_forge_path(&forge, path.c_str(), static_cast<uint32_t>(path.size()));
  else
    lv2_atom_forge_string(&forge, path.c_str(), static_cast<uint32_t>(path.size()));
  lv2_atom_forge_pop(&forge, &object);
  const LV2_Atom* message = lv2_atom_forge_deref(&forge, ref);
  atom(frame, message->type, message + 1, message->size);
}

LV2_Worker_Status Lv2Synth::schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                     const void* data) {
  auto* self = static_cast<Lv2Synth*>(handle);
  if (self->jobCount_ >= self->jobs_.size() || size > kJobBytes) return LV2_WORKER_ERR_NO_SPACE;
  std::memcpy(self->jobs_[self->jobCount_].data(), data, size);
  self->jobSizes_[self->jobCount_++] = size;
  return LV2_WORKER_SUCCESS;
}

int32_t Lv2Synth::runWorker() {
  const auto* worker = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
  const auto respond = [](LV2_Worker_Respond_Handle, uint32_t, const void*) {
    return LV2_WORKER_SUCCESS;
  };
  const auto count = static_cast<int32_t>(jobCount_);
  for (size_t i = 0; i < jobCount_ && worker != nullptr; ++i)
    worker->work(lilv_instance_get_handle(instance_), respond, nullptr, jobSizes_[i], jobs_[i].data());
  jobCount_ = 0;
  return count;
}

std::string Lv2Synth::saveState() {
  const auto portValue = [](const char* symbol, void* user, uint32_t* size, uint32_t* type) -> const void* {
    auto* self = static_cast<Lv2Synth*>(user);
    LilvNode* name = lilv_new_string(Lv2World::get().world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self->plugin_, name);
    lilv_node_free(name);
    *size = 4;
    *type = Lv2World::get().map(LV2_ATOM__Float);
    return &self->controls_[lilv_port_get_index(self->plugin_, port)];
  };
  LilvState* state = lilv_state_new_from_instance(plugin_, instance_, &gMap, nullptr, nullptr, nullptr,
                                                  nullptr, portValue, this,
                                                  LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                                                  features_.data());
  if (state == nullptr) return {};
  char* text = lilv_state_to_string(Lv2World::get().world(), &gMap, &gUnmap, state, kStateUri, nullptr);
  std::string turtle = text != nullptr ? text : "";
  lilv_free(text);
  lilv_state_free(state);
  return turtle;
}

bool Lv2Synth::restoreState(const std::string& turtle) {
  LilvState* state = lilv_state_new_from_string(Lv2World::get().world(), &gMap, turtle.c_str());
  if (state == nullptr) return false;
  return restore(state);
}

bool Lv2Synth::restore(LilvState* state) {
  presetOk_ = true;
  const auto setValue = [](const char* symbol, void* user, const void* value, uint32_t size,
                           uint32_t type) {
    auto* self = static_cast<Lv2Synth*>(user);
    LilvNode* name = lilv_new_string(Lv2World::get().world(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self->plugin_, name);
    lilv_node_free(name);
    if (port == nullptr || type != Lv2World::get().map(LV2_ATOM__Float) || size != 4)
      self->presetOk_ = false;
    else
      std::memcpy(&self->controls_[lilv_port_get_index(self->plugin_, port)], value, 4);
  };
  lilv_state_restore(state, instance_, setValue, this, 0, features_.data());
  lilv_state_free(state);
  return presetOk_;
}

void Lv2Synth::run(float* left, float* right, uint32_t frames) {
  lilv_instance_connect_port(instance_, outputs_[0], left);
  lilv_instance_connect_port(instance_, outputs_[1], right);
  lilv_instance_run(instance_, frames);
  clearSequence();
}

void Lv2Synth::clearSequence() {
  auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence_.data());
  *seq = {{sizeof(LV2_Atom_Sequence_Body), Lv2World::get().map(LV2_ATOM__Sequence)}, {0, 0}};
}
