// Our own CLAP host for the tests, on the plug-in's own declarations (ClapInterface.h): opens a
// .clap as hosts do (RTLD_NOW), answers the host extensions VelaOrin uses and records what the
// plug-in asks of them, and builds event lists and byte streams.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ClapInterface.h"
#include "PluginLibrary.h"

using namespace clapi;

// A .clap opened (every symbol resolved at load, as the validator does) and its entry
// initialised; deinit and close on destruction.
class ClapModule {
 public:
  explicit ClapModule(const std::string& path);
  ~ClapModule();
  ClapModule(const ClapModule&) = delete;
  ClapModule& operator=(const ClapModule&) = delete;

  bool loaded() const { return entry_ != nullptr; }
  const std::string& error() const { return error_; }
  const clap_plugin_entry* entry() const { return entry_; }
  const clap_plugin_factory* pluginFactory() const;
  const std::string& path() const { return path_; }

 private:
  PluginLibrary library_;
  const clap_plugin_entry* entry_ = nullptr;
  std::string path_, error_;
};

// The VelaOrin.clap built beside the tests.
ClapModule& builtClap();

// One event of any type, copied whole.
struct EventSlot {
  alignas(8) unsigned char bytes[128];
  const clap_event_header& header() const { return *reinterpret_cast<const clap_event_header*>(bytes); }
  template <class Record>
  const Record& as() const { return *reinterpret_cast<const Record*>(bytes); }
};

// An input list in time order (stable), as hosts hand them over.
class EventList {
 public:
  template <class Record>
  EventList& add(const Record& record) {
    EventSlot slot{};
    std::memcpy(slot.bytes, &record, sizeof record);
    slots_.push_back(slot);
    return *this;
  }
  EventList& noteOn(uint32_t time, int16_t key, double velocity, int32_t noteId = -1,
                    int16_t channel = 0);
  EventList& noteOff(uint32_t time, int16_t key, int32_t noteId = -1, int16_t channel = -1);
  EventList& choke(uint32_t time, int16_t key, int32_t noteId = -1);
  EventList& midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2);
  EventList& value(uint32_t time, clap_id id, double value, void* cookie = nullptr,
                   uint16_t space = CLAP_CORE_EVENT_SPACE_ID);
  EventList& modulation(uint32_t time, clap_id id, double amount);
  // The events with times in [from, from + frames), times made relative to `from`.
  EventList slice(uint32_t from, uint32_t frames) const;
  void sort();
  size_t size() const { return slots_.size(); }
  const clap_input_events* list();

 private:
  std::vector<EventSlot> slots_;
  clap_input_events list_{};
};

// What the plug-in pushes to the host, in the order it came.
class OutputList {
 public:
  OutputList();
  OutputList(const OutputList&) = delete;  // the list's context is this object
  OutputList& operator=(const OutputList&) = delete;
  const clap_output_events* list() const { return &list_; }
  std::vector<EventSlot> events;

 private:
  clap_output_events list_{};
};

// The host record and the extensions it offers, each switchable.
class TestHost {
 public:
  struct Offers {
    bool params = true, timers = true, fds = true, presetLoad = true, gui = true;
  };
  explicit TestHost(Offers offers);
  TestHost() : TestHost(Offers{}) {}
  const clap_host* host() const { return &host_; }

  Offers offers;
  std::vector<uint32_t> rescans;
  int flushRequests = 0;
  std::atomic<int> callbackRequests{0};
  std::map<clap_id, uint32_t> timers;  // id -> period
  std::map<int, uint32_t> fds;         // fd -> flags
  std::vector<std::string> presetsLoaded, presetErrors;
  std::vector<std::pair<uint32_t, uint32_t>> resizeRequests;  // width, height
  bool agreeToResize = true;

 private:
  clap_host host_{};
  clap_id nextTimer_ = 1;
};

// A byte stream that moves at most `chunk` bytes a call.
struct ByteStream {
  std::vector<uint8_t> bytes;
  size_t chunk = 17;
  size_t at = 0;
  clap_istream in();
  clap_ostream out();
};

// One plug-in instance of the module, destroyed (deactivated first) with the object.
class ClapInstance {
 public:
  ClapInstance(ClapModule& module, TestHost& host);
  ~ClapInstance();
  ClapInstance(const ClapInstance&) = delete;
  ClapInstance& operator=(const ClapInstance&) = delete;

  const clap_plugin* plugin() const { return plugin_; }
  template <class Table>
  const Table* extension(const char* id) const {
    return static_cast<const Table*>(plugin_->get_extension(plugin_, id));
  }
  // activate + start_processing
  bool start(double rate, uint32_t maxFrames);
  void stop();  // stop_processing + deactivate
  // One block into left/right from `offset`; the plug-in's out-events are appended to `out`.
  clap_process_status process(EventList& events, uint32_t frames, float* left, float* right,
                              OutputList* out = nullptr);
  // A whole song in blocks of `blockSize`, its events sliced to each block.
  std::vector<float> render(const EventList& song, uint32_t total, uint32_t blockSize,
                            OutputList* out = nullptr, std::vector<float>* right = nullptr);
  double value(clap_id id) const;
  void flush(EventList& events, OutputList* out = nullptr);
  std::vector<uint8_t> save(size_t chunk = 23) const;
  bool load(const std::vector<uint8_t>& bytes, size_t chunk = 17);

 private:
  const clap_plugin* plugin_ = nullptr;
  bool active_ = false;
  int64_t steadyTime_ = 0;
};

// Bits of a float, for exact comparisons.
inline uint32_t bitsOf(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}
