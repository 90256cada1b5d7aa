// Converts MIDI ticks to sample frames through a list of tempo changes, exactly: the time of a
// tick is a rational number of microseconds, and only the final division is rounded.
#pragma once

#include <cstdint>
#include <vector>

class TempoMap {
 public:
  static constexpr int32_t kDefaultMicrosPerQuarter = 500000;  // 120 bpm until told otherwise

  explicit TempoMap(int32_t ticksPerQuarter);

  // A change at `tick` replaces the tempo from there on; a later change at the same tick wins.
  void addChange(int64_t tick, int32_t microsPerQuarter);

  // Nearest frame to the tick's time at `sampleRate`, ties to even.
  int64_t frameAt(int64_t tick, int32_t sampleRate) const;

  int32_t ticksPerQuarter() const { return ticksPerQuarter_; }

 private:
  struct Change {
    int64_t tick;
    int32_t microsPerQuarter;
  };
  int32_t ticksPerQuarter_;
  std::vector<Change> changes_;  // sorted by tick, first at tick 0
};
