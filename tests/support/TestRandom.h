// A small seeded generator for test scenarios: the same sequence on every build and platform.
#pragma once

#include <cstdint>

struct Random {
  uint64_t state;
  uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  int32_t below(int32_t n) { return static_cast<int32_t>(next() % static_cast<uint32_t>(n)); }
  float unit() { return static_cast<float>(next() % 1001) / 1000.0f; }
};
