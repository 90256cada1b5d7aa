// A small LV2 host on lilv for the tests and the benchmark: it finds VelaOrin in the build tree's
// bundle (and nowhere else, unless another bundle is loaded by name), instantiates a plug-in with
// urid:map, keeps its control input values (defaults from its Turtle), and runs blocks with MIDI
// (or any atom) at given frames into its first two audio outputs, as hosts fill an atom sequence.
#pragma once

#include <lilv/lilv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Lv2Bundle.h"

// The lilv world holding the build tree's bundle; one per process.
class Lv2World {
 public:
  static Lv2World& get();
  LilvWorld* world() const { return world_; }
  const LilvPlugin* plugin() const { return plugin_; }  // null when the bundle was not found
  std::string error() const { return error_; }
  // Another bundle (a folder with a trailing slash) and a plug-in from it, or null.
  const LilvPlugin* loadPlugin(const std::string& bundle, const std::string& uri);
  uint32_t map(const char* uri);
  // URIs of the plug-in's presets, in URI order, and each one's label.
  std::vector<std::string> presetUris() const;
  std::string presetLabel(const std::string& uri) const;

 private:
  Lv2World();
  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  std::string error_;
  std::vector<std::string> uris_;
};

class Lv2Synth {
 public:
  explicit Lv2Synth(double rate, const LilvPlugin* plugin = Lv2World::get().plugin());
  ~Lv2Synth();
  Lv2Synth(const Lv2Synth&) = delete;
  Lv2Synth& operator=(const Lv2Synth&) = delete;

  bool open() const { return instance_ != nullptr; }
  void activate();
  void deactivate();
  // The control port values run() reads, by port index; they start at the ports' defaults.
  float& control(int32_t index) { return controls_.at(static_cast<size_t>(index)); }
  // Applies a preset as jalv and Ardour do (lilv state, port values by symbol); false when it
  // cannot be loaded or names a port we do not have.
  bool applyPreset(const std::string& uri);

  // Appends an event of the next block (frames from the block's start, in order).
  void midi(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2);
  void atom(int64_t frame, uint32_t type, const void* body, uint32_t size);
  // Runs one block into left and right (each `frames` long), then empties the sequence.
  void run(float* left, float* right, uint32_t frames);

 private:
  static void setPortValue(const char* symbol, void* self, const void* value, uint32_t size,
                           uint32_t type);
  void clearSequence();
  LilvInstance* instance_ = nullptr;
  const LilvPlugin* plugin_;
  std::vector<float> controls_;  // one for every port; only control inputs are connected
  uint32_t outputs_[2] = {};
  std::vector<uint64_t> sequence_;  // an LV2_Atom_Sequence, 64-bit aligned
  bool presetOk_ = true;
  bool active_ = false;
};
