// A small LV2 host on lilv for the tests and the benchmark: VelaOrin from the build tree's bundle
// only (another bundle only when loaded by name), instantiated with urid:map, log:log and
// work:schedule; control inputs at their Turtle defaults; blocks run with atoms at given frames
// into the first two audio outputs; the worker's jobs run when the test says; states as Turtle.
#pragma once

#include <lilv/lilv.h>
#include <lv2/worker/worker.h>

#include <array>
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
  const char* unmap(uint32_t id) const;
  std::vector<std::string> presetUris() const;  // in URI order
  // What every instance logged through log:log, in order.
  std::vector<std::string>& log() { return log_; }

 private:
  Lv2World();
  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  std::string error_;
  std::vector<std::string> uris_;
  std::vector<std::string> log_;
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
  // A patch:Set of `property` to an atom:Path (or, for the tests of refusals, another type).
  void patchSet(int64_t frame, const char* property, const std::string& path, bool asPath = true);
  void run(float* left, float* right, uint32_t frames);  // then empties the sequence
  // The jobs the plug-in scheduled, run now as a host's worker thread would; how many ran.
  int32_t runWorker();
  // The instance's state (port values and properties) as lilv writes it to Turtle, and back.
  std::string saveState();
  bool restoreState(const std::string& turtle);

 private:
  // Sets the controls a preset or state holds and hands the rest to the plug-in; frees `state`.
  bool restore(LilvState* state);
  static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                    const void* data);
  void clearSequence();
  LilvInstance* instance_ = nullptr;
  const LilvPlugin* plugin_;
  std::vector<float> controls_;  // one per port; only control inputs are connected
  uint32_t outputs_[2] = {};
  std::vector<uint64_t> sequence_;  // an LV2_Atom_Sequence, 64-bit aligned
  bool presetOk_ = true;
  bool active_ = false;
  // [audio thread] Scheduled jobs in room taken beforehand: a run() that schedules allocates
  // nothing here either.
  static constexpr size_t kJobBytes = 8192;
  std::array<std::array<uint8_t, kJobBytes>, 8> jobs_{};
  std::array<uint32_t, 8> jobSizes_{};
  size_t jobCount_ = 0;
  LV2_Worker_Schedule schedule_{this, &Lv2Synth::schedule};
  LV2_Feature scheduleFeature_{LV2_WORKER__schedule, &schedule_};
  std::vector<const LV2_Feature*> features_;
};
