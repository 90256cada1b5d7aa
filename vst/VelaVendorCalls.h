// Calls of our own through effVendorSpecific, made by our tools: VST 2 gives a host no other
// way to hand a plug-in a tuning (and no way to save one with a project). A host that does not
// know them never makes them; a plug-in that does not know them answers 0.
//   effVendorSpecific(index kVendorIndex, value the call, ptr its record, opt 0)
#pragma once

#include <cstdint>

namespace vela::vendor {

// 'VelT': far from the small numbers and the other vendors' tags hosts send.
inline constexpr int32_t kVendorIndex = 'V' << 24 | 'e' << 16 | 'l' << 8 | 'T';

// The tuning every note plays in, from the next block on: ptr is a TuningRecord holding the
// tuning's byte form (encodeTuning, Tuning.h); one of no files brings back the default.
// Answers 1 when it is in force, -1 when it is refused (the record's error says why, and nothing
// changed).
inline constexpr intptr_t kSetTuning = 1;

struct TuningRecord {
  uint32_t recordSize;  // sizeof(TuningRecord): a record of another size is refused
  uint32_t byteCount;
  const uint8_t* bytes;
  char error[512];  // zero-terminated
};

}  // namespace vela::vendor
