#include "ClapTestHost.h"

#include <algorithm>

#ifndef VELA_CLAP_PATH
#define VELA_CLAP_PATH ""
#endif

ClapModule::ClapModule(const std::string& path) : library_(path), path_(path) {
  entry_ = static_cast<const clap_plugin_entry*>(library_.symbol("clap_entry"));
  if (!library_.loaded()) error_ = "cannot open " + path;
  if (entry_ != nullptr && !entry_->init(path.c_str())) entry_ = nullptr;
  if (library_.loaded() && entry_ == nullptr) error_ = "no clap_entry, or its init failed";
}

// The library member closes after the entry's deinit.
ClapModule::~ClapModule() {
  if (entry_ != nullptr) entry_->deinit();
}

const clap_plugin_factory* ClapModule::pluginFactory() const {
  return entry_ != nullptr
             ? static_cast<const clap_plugin_factory*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID))
             : nullptr;
}

ClapModule& builtClap() {
  static ClapModule module(VELA_CLAP_PATH);
  return module;
}

// ---------------------------------------------------------------------------------------------

namespace {

clap_event_header header(uint32_t size, uint32_t time, uint16_t type, uint16_t space = 0) {
  return {size, time, space, type, 0};
}

}  // namespace

EventList& EventList::noteOn(uint32_t time, int16_t key, double velocity, int32_t noteId,
                             int16_t channel) {
  clap_event_note e{};
  e.header = header(sizeof e, time, CLAP_EVENT_NOTE_ON);
  e.note_id = noteId;
  e.port_index = 0;
  e.channel = channel;
  e.key = key;
  e.velocity = velocity;
  return add(e);
}

EventList& EventList::noteOff(uint32_t time, int16_t key, int32_t noteId, int16_t channel) {
  clap_event_note e{};
  e.header = header(sizeof e, time, CLAP_EVENT_NOTE_OFF);
  e.note_id = noteId;
  e.port_index = 0;
  e.channel = channel;
  e.key = key;
  e.velocity = 0.5;
  return add(e);
}

EventList& EventList::choke(uint32_t time, int16_t key, int32_t noteId) {
  clap_event_note e{};
  e.header = header(sizeof e, time, CLAP_EVENT_NOTE_CHOKE);
  e.note_id = noteId;
  e.port_index = -1;
  e.channel = -1;
  e.key = key;
  return add(e);
}

EventList& EventList::midi(uint32_t time, uint8_t status, uint8_t data1, uint8_t data2) {
  clap_event_midi e{};
  e.header = header(sizeof e, time, CLAP_EVENT_MIDI);
  e.data[0] = status;
  e.data[1] = data1;
  e.data[2] = data2;
  return add(e);
}

EventList& EventList::value(uint32_t time, clap_id id, double v, void* cookie, uint16_t space) {
  clap_event_param_value e{};
  e.header = header(sizeof e, time, CLAP_EVENT_PARAM_VALUE, space);
  e.param_id = id;
  e.cookie = cookie;
  // As Qtractor sends them: an address of zeros and -1s, meaningless for a global parameter.
  e.note_id = 0;
  e.port_index = 0;
  e.channel = -1;
  e.key = -1;
  e.value = v;
  return add(e);
}

EventList& EventList::modulation(uint32_t time, clap_id id, double amount) {
  clap_event_param_mod e{};
  e.header = header(sizeof e, time, CLAP_EVENT_PARAM_MOD);
  e.param_id = id;
  e.note_id = -1;
  e.port_index = e.channel = e.key = -1;
  e.amount = amount;
  return add(e);
}

EventList EventList::slice(uint32_t from, uint32_t frames) const {
  EventList part;
  for (const EventSlot& slot : slots_) {
    const uint32_t time = slot.header().time;
    if (time < from || time >= from + frames) continue;
    EventSlot copy = slot;
    reinterpret_cast<clap_event_header*>(copy.bytes)->time = time - from;
    part.slots_.push_back(copy);
  }
  return part;
}

void EventList::sort() {
  std::stable_sort(slots_.begin(), slots_.end(), [](const EventSlot& a, const EventSlot& b) {
    return a.header().time < b.header().time;
  });
}

const clap_input_events* EventList::list() {
  list_.ctx = this;
  list_.size = [](const clap_input_events* l) {
    return static_cast<uint32_t>(static_cast<EventList*>(l->ctx)->slots_.size());
  };
  list_.get = [](const clap_input_events* l, uint32_t index) -> const clap_event_header* {
    auto& slots = static_cast<EventList*>(l->ctx)->slots_;
    return index < slots.size() ? &slots[index].header() : nullptr;
  };
  return &list_;
}

OutputList::OutputList() {
  list_.ctx = this;
  list_.try_push = [](const clap_output_events* l, const clap_event_header* event) {
    if (event == nullptr || event->size > sizeof(EventSlot::bytes)) return false;
    EventSlot slot{};
    std::memcpy(slot.bytes, event, event->size);
    static_cast<OutputList*>(l->ctx)->events.push_back(slot);
    return true;
  };
}

// ---------------------------------------------------------------------------------------------

namespace {

TestHost& hostOf(const clap_host* host) { return *static_cast<TestHost*>(host->host_data); }

void rescan(const clap_host* h, uint32_t flags) { hostOf(h).rescans.push_back(flags); }
void clearParams(const clap_host*, clap_id, uint32_t) {}
void requestFlush(const clap_host* h) { ++hostOf(h).flushRequests; }
const clap_host_params kParams = {rescan, clearParams, requestFlush};

bool registerTimer(const clap_host* h, uint32_t period, clap_id* id) {
  TestHost& host = hostOf(h);
  *id = static_cast<clap_id>(host.timers.size() + 100);
  while (host.timers.count(*id) != 0) ++*id;
  host.timers[*id] = period;
  return true;
}
bool unregisterTimer(const clap_host* h, clap_id id) { return hostOf(h).timers.erase(id) == 1; }
const clap_host_timer_support kTimers = {registerTimer, unregisterTimer};

bool registerFd(const clap_host* h, int fd, uint32_t flags) {
  return hostOf(h).fds.emplace(fd, flags).second;
}
bool modifyFd(const clap_host* h, int fd, uint32_t flags) {
  auto& fds = hostOf(h).fds;
  if (fds.count(fd) == 0) return false;
  fds[fd] = flags;
  return true;
}
bool unregisterFd(const clap_host* h, int fd) { return hostOf(h).fds.erase(fd) == 1; }
const clap_host_posix_fd_support kFds = {registerFd, modifyFd, unregisterFd};

std::string presetText(uint32_t kind, const char* location, const char* key) {
  return std::to_string(kind) + " " + (location != nullptr ? location : "-") + " " +
         (key != nullptr ? key : "-");
}
void presetError(const clap_host* h, uint32_t kind, const char* location, const char* key, int32_t,
                 const char* message) {
  hostOf(h).presetErrors.push_back(presetText(kind, location, key) + ": " + message);
}
void presetLoaded(const clap_host* h, uint32_t kind, const char* location, const char* key) {
  hostOf(h).presetsLoaded.push_back(presetText(kind, location, key));
}
const clap_host_preset_load kPresetLoad = {presetError, presetLoaded};

void resizeHintsChanged(const clap_host*) {}
bool requestResize(const clap_host* h, uint32_t width, uint32_t height) {
  hostOf(h).resizeRequests.emplace_back(width, height);
  return hostOf(h).agreeToResize;
}
bool requestShowOrHide(const clap_host*) { return false; }
void guiClosed(const clap_host*, bool) {}
const clap_host_gui kGui = {resizeHintsChanged, requestResize, requestShowOrHide,
                            requestShowOrHide, guiClosed};

const void* hostExtension(const clap_host* h, const char* id) {
  const TestHost& host = hostOf(h);
  if (std::strcmp(id, CLAP_EXT_PARAMS) == 0 && host.offers.params) return &kParams;
  if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0 && host.offers.timers) return &kTimers;
  if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0 && host.offers.fds) return &kFds;
  if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0 && host.offers.presetLoad) return &kPresetLoad;
  if (std::strcmp(id, CLAP_EXT_GUI) == 0 && host.offers.gui) return &kGui;
  return nullptr;
}

void requestNothing(const clap_host*) {}
void requestCallback(const clap_host* h) { hostOf(h).callbackRequests.fetch_add(1); }

}  // namespace

TestHost::TestHost(Offers chosen) : offers(chosen) {
  host_.clap_version = CLAP_VERSION;
  host_.host_data = this;
  host_.name = "VelaOrin test host";
  host_.vendor = "";
  host_.url = "";
  host_.version = "1";
  host_.get_extension = hostExtension;
  host_.request_restart = requestNothing;
  host_.request_process = requestNothing;
  host_.request_callback = requestCallback;
}

clap_istream ByteStream::in() {
  clap_istream s{};
  s.ctx = this;
  s.read = [](const clap_istream* stream, void* buffer, uint64_t size) -> int64_t {
    auto& self = *static_cast<ByteStream*>(stream->ctx);
    const size_t n = std::min({static_cast<size_t>(size), self.chunk, self.bytes.size() - self.at});
    if (n == 0) return 0;
    std::memcpy(buffer, self.bytes.data() + self.at, n);
    self.at += n;
    return static_cast<int64_t>(n);
  };
  return s;
}

clap_ostream ByteStream::out() {
  clap_ostream s{};
  s.ctx = this;
  s.write = [](const clap_ostream* stream, const void* buffer, uint64_t size) -> int64_t {
    auto& self = *static_cast<ByteStream*>(stream->ctx);
    const size_t n = std::min(static_cast<size_t>(size), self.chunk);
    const auto* data = static_cast<const uint8_t*>(buffer);
    self.bytes.insert(self.bytes.end(), data, data + n);
    return static_cast<int64_t>(n);
  };
  return s;
}

// ---------------------------------------------------------------------------------------------

ClapInstance::ClapInstance(ClapModule& module, TestHost& host) {
  const clap_plugin_factory* factory = module.pluginFactory();
  if (factory == nullptr) return;
  const clap_plugin_descriptor* descriptor = factory->get_plugin_descriptor(factory, 0);
  plugin_ = descriptor != nullptr ? factory->create_plugin(factory, host.host(), descriptor->id) : nullptr;
  if (plugin_ != nullptr && !plugin_->init(plugin_)) {
    plugin_->destroy(plugin_);
    plugin_ = nullptr;
  }
}

ClapInstance::~ClapInstance() {
  if (plugin_ == nullptr) return;
  stop();
  plugin_->destroy(plugin_);
}

bool ClapInstance::start(double rate, uint32_t maxFrames) {
  if (!plugin_->activate(plugin_, rate, 1, maxFrames)) return false;
  active_ = true;
  return plugin_->start_processing(plugin_);
}

void ClapInstance::stop() {
  if (!active_) return;
  plugin_->stop_processing(plugin_);
  plugin_->deactivate(plugin_);
  active_ = false;
}

clap_process_status ClapInstance::process(EventList& events, uint32_t frames, float* left,
                                          float* right, OutputList* out) {
  float* channels[2] = {left, right};
  clap_audio_buffer output{};
  output.data32 = channels;
  output.channel_count = 2;
  OutputList discard;
  clap_process p{};
  p.steady_time = steadyTime_;
  p.frames_count = frames;
  p.transport = nullptr;
  p.audio_outputs = &output;
  p.audio_outputs_count = 1;
  p.in_events = events.list();
  p.out_events = out != nullptr ? out->list() : discard.list();
  steadyTime_ += frames;
  return plugin_->process(plugin_, &p);
}

std::vector<float> ClapInstance::render(const EventList& song, uint32_t total, uint32_t blockSize,
                                        OutputList* out, std::vector<float>* right) {
  std::vector<float> left(total), other(total);
  for (uint32_t start = 0; start < total; start += blockSize) {
    const uint32_t frames = std::min(blockSize, total - start);
    EventList block = song.slice(start, frames);
    OutputList blockOut;
    process(block, frames, left.data() + start, other.data() + start, &blockOut);
    if (out != nullptr)
      for (EventSlot slot : blockOut.events) {
        reinterpret_cast<clap_event_header*>(slot.bytes)->time += start;  // song time
        out->events.push_back(slot);
      }
  }
  if (right != nullptr) *right = other;
  return left;
}

double ClapInstance::value(clap_id id) const {
  const auto* params = extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  double v = -1.0;
  if (params == nullptr || !params->get_value(plugin_, id, &v)) return -1.0;
  return v;
}

void ClapInstance::flush(EventList& events, OutputList* out) {
  const auto* params = extension<clap_plugin_params>(CLAP_EXT_PARAMS);
  OutputList discard;
  params->flush(plugin_, events.list(), out != nullptr ? out->list() : discard.list());
}

std::vector<uint8_t> ClapInstance::save(size_t chunk) const {
  const auto* state = extension<clap_plugin_state>(CLAP_EXT_STATE);
  ByteStream stream;
  stream.chunk = chunk;
  const clap_ostream out = stream.out();
  if (state == nullptr || !state->save(plugin_, &out)) return {};
  return stream.bytes;
}

bool ClapInstance::load(const std::vector<uint8_t>& bytes, size_t chunk) {
  const auto* state = extension<clap_plugin_state>(CLAP_EXT_STATE);
  ByteStream stream;
  stream.bytes = bytes;
  stream.chunk = chunk;
  const clap_istream in = stream.in();
  return state != nullptr && state->load(plugin_, &in);
}
