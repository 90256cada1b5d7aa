// MIDI events gathered into a VstEvents list for tests, laid out as hosts do.
#pragma once

#include <cstdint>
#include <vector>

#include "DAEffectX.h"

// A VstEvents list of MIDI events, laid out as hosts do (pointers behind the record).
class MidiList {
 public:
  MidiList& add(int32_t deltaFrames, int status, int data1, int data2) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = 24;
    e.deltaFrames = deltaFrames;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    events_.push_back(e);
    return *this;
  }
  MidiList& noteOn(int32_t delta, int note, int velocity = 127) {
    return add(delta, 0x90, note, velocity);
  }
  MidiList& noteOff(int32_t delta, int note) { return add(delta, 0x80, note, 64); }

  VstEvents* list() {
    storage_.assign(sizeof(VstEvents) + events_.size() * sizeof(VstEvent*), 0);
    auto* header = reinterpret_cast<VstEvents*>(storage_.data());
    header->numEvents = static_cast<int32_t>(events_.size());
    VstEvent** slots = header->events;
    for (size_t i = 0; i < events_.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&events_[i]);
    return header;
  }
  bool empty() const { return events_.empty(); }
  template <class Synth>
  int32_t sendTo(Synth& synth) {
    return synth.processEvents(list());
  }

 private:
  std::vector<VstMidiEvent> events_;
  std::vector<unsigned char> storage_;
};
