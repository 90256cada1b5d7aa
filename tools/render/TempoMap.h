// Converts MIDI ticks to sample frames through a list of tempo changes, exactly: the time of a
// tick is a rational number of microseconds, and only the final division is rounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TempoMap {
 public:
  static constexpr int32_t kDefaultMicrosPerQuarter = 500000;  // 120 bpm until told otherwise

  explicit TempoMap(int32_t ticksPerQuarter);

  // SMPTE timing: a fixed clock of framesPerSecond × ticksPerFrame ticks a second, where 29
  // frames a second means 30000/1001. Tempo changes do not apply to it.
  static TempoMap smpte(int32_t framesPerSecond, int32_t ticksPerFrame);

  // A change at `tick` replaces the tempo from there on; a later change at the same tick wins.
  // Changes given in tick order cost O(1) each.
  void addChange(int64_t tick, int32_t microsPerQuarter);

  // Nearest frame to the tick's time at `sampleRate`, ties to even; O(log changes).
  int64_t frameAt(int64_t tick, int32_t sampleRate) const;

  int32_t ticksPerQuarter() const { return ticksPerQuarter_; }

 private:
  __extension__ typedef __int128 Time;  // units of 1 / (ticksPerQuarter * 1e6) seconds

  struct Change {
    int64_t tick;
    int32_t microsPerQuarter;
    Time timeAtTick;  // time elapsed before this change
  };
  void retime(size_t from);

  int32_t ticksPerQuarter_;
  std::vector<Change> changes_;  // sorted by tick, first at tick 0
};
