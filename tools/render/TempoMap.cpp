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
  changes_.push_back({0, kDefaultMicrosPerQuarter});
}

void TempoMap::addChange(int64_t tick, int32_t microsPerQuarter) {
  if (tick < 0 || microsPerQuarter <= 0) throw std::invalid_argument("bad tempo change");
  auto after = std::upper_bound(changes_.begin(), changes_.end(), tick,
                                [](int64_t t, const Change& c) { return t < c.tick; });
  if (after != changes_.begin() && std::prev(after)->tick == tick)
    std::prev(after)->microsPerQuarter = microsPerQuarter;
  else
    changes_.insert(after, {tick, microsPerQuarter});
}

int64_t TempoMap::frameAt(int64_t tick, int32_t sampleRate) const {
  // Time in units of 1 / (ticksPerQuarter * 1e6) seconds.
  Int128 time = 0;
  for (size_t i = 0; i < changes_.size() && changes_[i].tick < tick; ++i) {
    const int64_t segmentEnd =
        i + 1 < changes_.size() ? std::min(changes_[i + 1].tick, tick) : tick;
    time += static_cast<Int128>(segmentEnd - changes_[i].tick) * changes_[i].microsPerQuarter;
  }
  return divideRounded(time * sampleRate, static_cast<Int128>(ticksPerQuarter_) * 1000000);
}
