#include "TempoMap.h"

#include <algorithm>
#include <stdexcept>

namespace {

__extension__ typedef __int128 Int128;

// round(numerator / denominator) for non-negative values, ties to even.
int64_t divideRounded(Int128 numerator, Int128 denominator) {
  Int128 quotient = numerator / denominator;
  const Int128 twiceRemainder = 2 * (numerator % denominator);
  if (twiceRemainder > denominator || (twiceRemainder == denominator && (quotient & 1) != 0))
    ++quotient;
  return static_cast<int64_t>(quotient);
}

}  // namespace

TempoMap::TempoMap(int32_t ticksPerQuarter) : ticksPerQuarter_(ticksPerQuarter) {
  if (ticksPerQuarter <= 0) throw std::invalid_argument("ticks per quarter note must be positive");
  changes_.push_back({0, kDefaultMicrosPerQuarter, 0});
}

TempoMap TempoMap::smpte(int32_t framesPerSecond, int32_t ticksPerFrame) {
  // A "quarter" of one second's ticks; 29.97 frames: 30000 × tpf ticks in 1.001 s.
  const bool dropFrame = framesPerSecond == 29;
  TempoMap map(dropFrame ? 30000 * ticksPerFrame : framesPerSecond * ticksPerFrame);
  map.changes_[0].microsPerQuarter = dropFrame ? 1001000000 : 1000000;
  return map;
}

void TempoMap::addChange(int64_t tick, int32_t microsPerQuarter) {
  if (tick < 0 || microsPerQuarter <= 0) throw std::invalid_argument("bad tempo change");
  auto after = std::upper_bound(changes_.begin(), changes_.end(), tick,
                                [](int64_t t, const Change& c) { return t < c.tick; });
  if (after != changes_.begin() && std::prev(after)->tick == tick) {
    std::prev(after)->microsPerQuarter = microsPerQuarter;
    retime(static_cast<size_t>(after - changes_.begin()));
  } else {
    const auto at = static_cast<size_t>(after - changes_.begin());
    changes_.insert(after, {tick, microsPerQuarter, 0});
    retime(at);
  }
}

void TempoMap::retime(size_t from) {
  for (size_t i = std::max<size_t>(from, 1); i < changes_.size(); ++i) {
    const Change& before = changes_[i - 1];
    changes_[i].timeAtTick = before.timeAtTick + static_cast<Int128>(changes_[i].tick - before.tick) *
                                                     before.microsPerQuarter;
  }
}

int64_t TempoMap::frameAt(int64_t tick, int32_t sampleRate) const {
  auto after = std::upper_bound(changes_.begin(), changes_.end(), tick,
                                [](int64_t t, const Change& c) { return t < c.tick; });
  Time time = 0;
  if (after != changes_.begin()) {
    const Change& change = *std::prev(after);
    time = change.timeAtTick + static_cast<Int128>(tick - change.tick) * change.microsPerQuarter;
  }
  return divideRounded(time * sampleRate, static_cast<Int128>(ticksPerQuarter_) * 1000000);
}
