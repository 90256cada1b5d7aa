// A small LV2 host on lilv for the tests and the benchmark: VelaOrin from the build tree's bundle
// only (another bundle only when loaded by name), instantiated with urid:map; control inputs at
// their Turtle defaults; blocks run with atoms at given frames into the first two audio outputs.
#pragma once

#include <lilv/lilv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Lv2Bundle.h"

class Lv2World {
 public:
  static Lv2World& get();  // one per process
  LilvWorld* world() const { return world_; }
  const LilvPlugin* plugin() const { return plugin_; }  // null when the bundle was not found
  std::string error() const { return error_; }
  const LilvPlugin* loadPlugin(const std::string& bundleDir, const std::string& uri);
  uint32_t map(const char* uri);
  std::vector<std::string> presetUris() const;  // in URI order

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
  void activate(bool on);
  float& control(int32_t port) { return controls_.at(static_cast<size_t>(port)); }
  // As jalv and Ardour do (lilv state, values by symbol); false if a symbol is not a port.
  bool applyPreset(const std::string& uri, std::string* label = nullptr);
  // Events of the next block, in frame order.
  void atom(int64_t frame, uint32_t type, const void* body, uint32_t size);
  void midi(int64_t frame, uint8_t status, uint8_t data1, uint8_t data2);
  void run(float* left, float* right, uint32_t frames);  // then empties the sequence

 private:
  void clearSequence();
  LilvInstance* instance_ = nullptr;
  const LilvPlugin* plugin_;
  std::vector<float> controls_;  // one per port; only control inputs are connected
  uint32_t outputs_[2] = {};
  std::vector<uint64_t> sequence_;  // an LV2_Atom_Sequence, 64-bit aligned
  bool presetOk_ = true;
  bool active_ = false;
};
