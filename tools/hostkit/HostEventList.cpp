#include "HostEventList.h"

#include <algorithm>
#include <new>

HostEventList::HostEventList(size_t capacity) : midi_(capacity) {
  const size_t slotCount = std::max<size_t>(capacity, 2);
  const size_t bytes = offsetof(VstEvents, events) + slotCount * sizeof(VstEvent*);
  // new[] of std::byte is aligned for any fundamental type, so the record and pointers fit.
  storage_ = std::make_unique<std::byte[]>(bytes);
  list_ = new (storage_.get()) VstEvents{};
  slots_ = reinterpret_cast<VstEvent**>(storage_.get() + offsetof(VstEvents, events));
  clear();
}

void HostEventList::clear() {
  count_ = 0;
  list_->numEvents = 0;
  list_->reserved = 0;
}

bool HostEventList::addMidi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2) {
  if (count_ == midi_.size()) return false;
  VstMidiEvent& event = midi_[count_];
  event = VstMidiEvent{};
  event.type = kVstMidiType;
  event.byteSize = static_cast<int32_t>(sizeof(VstMidiEvent) - 2 * sizeof(int32_t));
  event.deltaFrames = deltaFrames;
  event.midiData[0] = static_cast<char>(status);
  event.midiData[1] = static_cast<char>(data1);
  event.midiData[2] = static_cast<char>(data2);
  slots_[count_] = reinterpret_cast<VstEvent*>(&event);
  ++count_;
  list_->numEvents = static_cast<int32_t>(count_);
  return true;
}
