// Single-producer single-consumer queue of short MIDI messages: the UI thread pushes the notes
// played on the on-screen and computer keyboards, the audio thread pops them at the start of the
// next period. Lock-free and allocation-free on both sides.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

struct ShortMidi {
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

template <size_t Capacity>
class NoteQueue {
  static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

 public:
  // [UI thread] false when full; the message is dropped.
  bool push(ShortMidi message) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == Capacity) return false;
    slots_[tail & (Capacity - 1)] = message;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // [audio thread]
  bool pop(ShortMidi& message) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    message = slots_[head & (Capacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  std::array<ShortMidi, Capacity> slots_{};
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
};
