// Calls of our own between VelaOrin.so and our tools, both ways through the VST 2 interface's
// vendor-specific requests. A host or plug-in that does not know them answers 0 ("nothing to
// say"), so they cost other hosts nothing.
//
// Host to plug-in, through effVendorSpecific: VST 2 gives a host no other way to hand a plug-in a
// tuning (and no way to save one with a project).
//   effVendorSpecific(index kVendorIndex, value the call, ptr its record, opt 0)
// Plug-in to host, through audioMasterVendorSpecific: the panel asks the player for the scale its
// window needs.
#pragma once

#include <cstdint>

// audioMasterVendorSpecific, index 'VOsc': the scale at which the host needs the panel, in
// hundredths from 100 to 300 (150 = 1.5), binding because its window cannot follow another size;
// 0: the host has no word.
constexpr int32_t kHostScaleQuestion = 0x564F7363;

namespace vela::vendor {

// effVendorSpecific's index for our calls, 'VelT': far from the small numbers and the other
// vendors' tags hosts send.
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
