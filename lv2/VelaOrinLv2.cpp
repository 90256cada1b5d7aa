// VelaOrin as an LV2 instrument: an adapter from control ports and an atom sequence of MIDI to
// the instrument core. It drives the core exactly as the VST 2 class does (changed values into
// the bank in index order, acting from the block's start; the block's MIDI queued at its frames;
// one render call), so the same events at the same frames with the same values give the same
// bits as VelaOrin.so at any block size.
//
// There is no state extension: the sound is the 14 control ports, which hosts save themselves.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cstring>
#include <new>
#include <optional>

#include "Lv2Bundle.h"
#include "VelaInstrument.h"

namespace {

using namespace velalv2;

struct Instance {
  float rate = 0.0f;
  LV2_URID midiEvent = 0;
  // What a fresh or re-activated instance plays with; only program 0 is used: the ports are
  // the program.
  std::optional<VelaInstrument> instrument;
  const float* controls[kNumParams] = {};
  const LV2_Atom_Sequence* midiIn = nullptr;
  float* outputs[2] = {};
  // Bits of each control value the bank last got; a value is handed over only when it changes.
  uint32_t handedBits[kNumParams] = {};
  bool handed[kNumParams] = {};

  void restart() {
    instrument.emplace();
    instrument->setSampleRate(rate);
    for (bool& h : handed) h = false;
  }
};

// [instantiation] Needs urid:map (to recognise MIDI events) and a usable rate.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  const LV2_URID_Map* map = nullptr;
  for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    if (std::strcmp((*f)->URI, LV2_URID__map) == 0)
      map = static_cast<const LV2_URID_Map*>((*f)->data);
  const auto rateF = static_cast<float>(rate);
  if (map == nullptr || map->map == nullptr || !(rateF > 0.0f && rateF < 1e9f)) return nullptr;
  auto* self = new (std::nothrow) Instance;
  if (self == nullptr) return nullptr;
  self->rate = rateF;
  self->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
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
      // Every message the engine acts on has three bytes; anything else (time positions,
      // patch messages, sysex, a body running past the sequence) is skipped.
      if (event->body.type != self->midiEvent || event->body.size < 3 ||
          bytes + event->body.size > end)
        continue;
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

const void* extensionData(const char*) { return nullptr; }

constexpr LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate, run,
                                        deactivate, cleanup, extensionData};

}  // namespace

// [discovery]
extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
