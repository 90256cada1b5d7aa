// The VstEvents list a host hands to effProcessEvents, with room for a fixed number of MIDI
// events. All storage is taken at construction so filling it per block allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "DAEffectX.h"

class HostEventList {
 public:
  explicit HostEventList(size_t capacity);

  void clear();
  // False when the list is full; the event is then dropped.
  bool addMidi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);

  size_t size() const { return count_; }
  size_t capacity() const { return midi_.size(); }
  VstEvents* events() { return list_; }
  const VstMidiEvent& midi(size_t i) const { return midi_[i]; }

 private:
  std::vector<VstMidiEvent> midi_;
  // The record declares two event pointers; hosts allocate as many as they need behind it.
  std::unique_ptr<std::byte[]> storage_;
  VstEvents* list_ = nullptr;
  VstEvent** slots_ = nullptr;
  size_t count_ = 0;
};
