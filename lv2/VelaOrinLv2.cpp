// VelaOrin as an LV2 instrument: an adapter from control ports and an atom sequence of MIDI to
// the instrument core. It drives the core exactly as the VST 2 class does (changed values into
// the bank in index order, acting from the block's start; the block's MIDI queued at its frames;
// one render call), so the same events at the same frames with the same values give the same
// bits as VelaOrin.so at any block size.
//
// The sound is the 14 control ports, which hosts save themselves. The tuning is not: its two
// files are set by patch:Set messages on the MIDI input, read by the host's worker (never on the
// audio thread) and handed to the core, and the state extension keeps their contents, so a
// restored session needs no file.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <bit>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Lv2Bundle.h"
#include "VelaInstrument.h"

namespace {

using namespace velalv2;

// What run() hands the worker for a patch:Set of one of the tuning's files: which file, whether
// the value can be used, and the path (zero-terminated) after it.
struct TuningRequest {
  enum Value : uint32_t { Path, WrongType, TooLong };
  uint32_t scale;  // 1: the scale, 0: the keyboard mapping
  Value value;
};
constexpr size_t kLongestPath = 4096;

struct Uris {
  LV2_URID midiEvent, object, path, urid, chunk;
  LV2_URID patchSet, patchProperty, patchValue;
  LV2_URID scale, keyboardMapping, tuningState;
};

struct Instance {
  float rate = 0.0f;
  Uris uris{};
  const LV2_Worker_Schedule* worker = nullptr;  // none: files cannot be set, states still load
  LV2_Log_Logger logger{};
  // What a fresh or re-activated instance plays with; only program 0 is used: the ports are
  // the program.
  std::optional<VelaInstrument> instrument;
  const float* controls[kNumParams] = {};
  const LV2_Atom_Sequence* midiIn = nullptr;
  float* outputs[2] = {};
  // Bits of each control value the bank last got; a value is handed over only when it changes.
  uint32_t handedBits[kNumParams] = {};
  bool handed[kNumParams] = {};
  // [audio thread] A request being written for the worker; the host copies it.
  alignas(8) uint8_t request[sizeof(TuningRequest) + kLongestPath + 1] = {};

  // The tuning stays: no port brings it back.
  void restart() {
    const TuningFiles tuning = instrument ? instrument->tuning() : TuningFiles{};
    instrument.emplace();
    instrument->setSampleRate(rate);
    if (!tuning.isDefault()) instrument->setTuning(tuning);
    for (bool& h : handed) h = false;
  }
};

// [instantiation] Needs urid:map (to recognise MIDI events) and a usable rate; takes the
// worker and the log when the host has them.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  LV2_URID_Map* map = nullptr;
  LV2_Log_Log* log = nullptr;
  const LV2_Worker_Schedule* worker = nullptr;
  for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
    if (std::strcmp((*f)->URI, LV2_URID__map) == 0) map = static_cast<LV2_URID_Map*>((*f)->data);
    if (std::strcmp((*f)->URI, LV2_LOG__log) == 0) log = static_cast<LV2_Log_Log*>((*f)->data);
    if (std::strcmp((*f)->URI, LV2_WORKER__schedule) == 0)
      worker = static_cast<const LV2_Worker_Schedule*>((*f)->data);
  }
  const auto rateF = static_cast<float>(rate);
  if (map == nullptr || map->map == nullptr || !(rateF > 0.0f && rateF < 1e9f)) return nullptr;
  auto* self = new (std::nothrow) Instance;
  if (self == nullptr) return nullptr;
  self->rate = rateF;
  const auto uri = [map](const char* name) { return map->map(map->handle, name); };
  self->uris = {uri(LV2_MIDI__MidiEvent), uri(LV2_ATOM__Object), uri(LV2_ATOM__Path),
                uri(LV2_ATOM__URID),      uri(LV2_ATOM__Chunk),  uri(LV2_PATCH__Set),
                uri(LV2_PATCH__property), uri(LV2_PATCH__value), uri(kScaleUri),
                uri(kKeyboardMappingUri), uri(kTuningStateUri)};
  if (worker != nullptr && worker->schedule_work != nullptr) self->worker = worker;
  lv2_log_logger_init(&self->logger, map, log);
  self->restart();
  return self;
}

// [audio thread, or instantiation] Indices outside the bundle's ports are ignored.
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
  auto* self = static_cast<Instance*>(handle);
  if (port < kMidiInPort)
    self->controls[port] = static_cast<const float*>(data);
  else if (port == kMidiInPort)
    self->midiIn = static_cast<const LV2_Atom_Sequence*>(data);
  else if (port == kLeftOutPort || port == kRightOutPort)
    self->outputs[port - kLeftOutPort] = static_cast<float*>(data);
}

// [instantiation] Forgets every sounding note, the bend and queued events; the values come
// from the ports again at the next run.
void activate(LV2_Handle handle) {
  auto* self = static_cast<Instance*>(handle);
  self->restart();
}

void deactivate(LV2_Handle) {}

// [audio thread] A patch:Set of one of the tuning's files goes to the worker, which reads the
// file; other messages and properties are not ours. `end` bounds the event's body.
void takePatch(Instance& self, const LV2_Atom_Object* object, const uint8_t* end) {
  if (object->body.otype != self.uris.patchSet || self.worker == nullptr) return;
  const LV2_Atom* property = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(object, self.uris.patchProperty, &property, self.uris.patchValue, &value, 0);
  if (property == nullptr || property->type != self.uris.urid || property->size < sizeof(LV2_URID))
    return;
  const LV2_URID which = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
  if (which != self.uris.scale && which != self.uris.keyboardMapping) return;
  TuningRequest request{which == self.uris.scale ? 1u : 0u, TuningRequest::WrongType};
  size_t length = 0;
  const char* text = value != nullptr ? reinterpret_cast<const char*>(value + 1) : nullptr;
  if (text != nullptr && value->type == self.uris.path &&
      reinterpret_cast<const uint8_t*>(text) + value->size <= end) {
    // The body holds the path and its terminator; nothing past the body is read.
    while (length < value->size && text[length] != '\0') ++length;
    request.value = length > kLongestPath ? TuningRequest::TooLong : TuningRequest::Path;
  }
  if (request.value != TuningRequest::Path) length = 0;
  std::memcpy(self.request, &request, sizeof request);
  if (length > 0) std::memcpy(self.request + sizeof request, text, length);
  self.request[sizeof request + length] = '\0';
  // A full queue drops the request: the tuning stays as it was.
  self.worker->schedule_work(self.worker->handle,
                             static_cast<uint32_t>(sizeof request + length + 1), self.request);
}

// [audio thread] No allocation, lock or system call.
void run(LV2_Handle handle, uint32_t frames) {
  auto* self = static_cast<Instance*>(handle);
  VelaInstrument& instrument = *self->instrument;
  for (int32_t i = 0; i < kNumParams; ++i) {
    if (self->controls[i] == nullptr) continue;
    const float value = *self->controls[i];
    const auto bits = std::bit_cast<uint32_t>(value);
    if (self->handed[i] && bits == self->handedBits[i]) continue;
    instrument.bank().setParameter(i, value);
    self->handed[i] = true;
    self->handedBits[i] = bits;
  }

  if (const LV2_Atom_Sequence* sequence = self->midiIn; sequence != nullptr) {
    const auto* end = reinterpret_cast<const uint8_t*>(&sequence->body) + sequence->atom.size;
    LV2_ATOM_SEQUENCE_FOREACH(sequence, event) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(event + 1);
      if (bytes + event->body.size > end) continue;  // a body running past the sequence
      if (event->body.type == self->uris.object &&
          event->body.size >= sizeof(LV2_Atom_Object_Body)) {
        takePatch(*self, reinterpret_cast<const LV2_Atom_Object*>(&event->body),
                  bytes + event->body.size);
        continue;
      }
      // Every message the engine acts on has three bytes; anything else (time positions,
      // sysex) is skipped.
      if (event->body.type != self->uris.midiEvent || event->body.size < 3) continue;
      const int64_t at = event->time.frames;
      const auto frame = static_cast<int32_t>(at < 0 ? 0 : at > frames ? frames : at);
      // Past the queue's capacity the rest is dropped, as in VST 2.
      instrument.queueMidi(frame, bytes[0], bytes[1], bytes[2]);
    }
  }
  if (self->outputs[0] == nullptr || self->outputs[1] == nullptr) {
    instrument.beginBlock();
    instrument.clearEvents();
    return;
  }
  // With no frames the queue is kept: its events act at the first frame of the next block.
  instrument.processReplacing(self->outputs[0], self->outputs[1], static_cast<int32_t>(frames));
}

// [instantiation]
void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

// ---------------------------------------------------------------------------------------------
// The tuning's files and state. A file or state refused leaves the tuning as it was and says why
// in the host's log.

// [worker: any thread but the audio thread, one call at a time] Reads the file and hands the
// tuning to the core, which gives it to the audio thread at its next block. An empty path forgets
// that file.
LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle,
                       uint32_t size, const void* data) {
  auto* self = static_cast<Instance*>(handle);
  TuningRequest request{};
  if (size <= sizeof request) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&request, data, sizeof request);
  const char* what = request.scale != 0 ? "scale" : "keyboard mapping";
  if (request.value != TuningRequest::Path) {
    lv2_log_error(&self->logger, "VelaOrin: %s not changed: %s\n", what,
                  request.value == TuningRequest::TooLong ? "the path is too long"
                                                          : "the value is not a file path");
    return LV2_WORKER_SUCCESS;
  }
  const std::string path(
      static_cast<const char*>(data) + sizeof request,
      strnlen(static_cast<const char*>(data) + sizeof request, size - sizeof request));
  // The other file stays as it is now (a state restored on another thread at this very moment
  // would lose to this file: both are the user's doing).
  TuningFiles files = self->instrument->tuning();
  std::optional<ScalaText>& file = request.scale != 0 ? files.scale : files.keyboardMapping;
  std::string error;
  ScalaText read;
  if (path.empty()) {
    file.reset();
  } else if (readScalaFile(path, read, error)) {
    file = std::move(read);
  }
  if (!error.empty() || !self->instrument->setTuning(files, &error))
    lv2_log_error(&self->logger, "VelaOrin: %s not changed: %s\n", what, error.c_str());
  return LV2_WORKER_SUCCESS;
}

// [audio thread] The core hands the table over itself: nothing comes back.
LV2_Worker_Status workResponse(LV2_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; }

const LV2_Worker_Interface kWorker = {work, workResponse, nullptr};

// [any thread, also while run() runs] The tuning's contents in their byte form (Tuning.h); one of
// no files too, so that a state without a tuning restores none.
LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store,
                      LV2_State_Handle storeHandle, uint32_t, const LV2_Feature* const*) {
  auto* self = static_cast<Instance*>(handle);
  const std::vector<uint8_t> bytes = encodeTuning(self->instrument->tuning());
  return store(storeHandle, self->uris.tuningState, bytes.data(), bytes.size(), self->uris.chunk,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// [any thread, also while run() runs: some hosts restore without stopping it] A state without
// our key (a preset, which holds only port values) leaves the tuning alone.
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle retrieveHandle, uint32_t, const LV2_Feature* const*) {
  auto* self = static_cast<Instance*>(handle);
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* data = retrieve(retrieveHandle, self->uris.tuningState, &size, &type, &flags);
  if (data == nullptr) return LV2_STATE_SUCCESS;
  TuningFiles files;
  std::string error;
  if (type != self->uris.chunk) {
    lv2_log_error(&self->logger,
                  "VelaOrin: the saved tuning is not a chunk of bytes; kept the tuning\n");
    return LV2_STATE_ERR_BAD_TYPE;
  }
  if (!decodeTuning(static_cast<const uint8_t*>(data), size, files, &error) ||
      !self->instrument->setTuning(files, &error)) {
    lv2_log_error(&self->logger, "VelaOrin: the saved tuning is refused (%s); kept the tuning\n",
                  error.c_str());
    return LV2_STATE_ERR_UNKNOWN;
  }
  return LV2_STATE_SUCCESS;
}

const LV2_State_Interface kState = {save, restore};

const void* extensionData(const char* uri) {
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &kWorker;
  return nullptr;
}

constexpr LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate, run,
                                        deactivate, cleanup, extensionData};

}  // namespace

// [discovery]
extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
