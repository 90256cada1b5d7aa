// A host callback that records every request and answers with configurable values.
#pragma once

#include <cstdint>
#include <vector>

#include "DAEffect.h"

struct HostCall {
  AEffect* effect;
  int32_t opcode;
  int32_t index;
  intptr_t value;
  void* ptr;
  float opt;
};

// The callback has no user pointer, so the recorder is process-wide; reset() starts afresh.
struct RecordingHost {
  static RecordingHost& instance();
  static intptr_t VELA_CDECL callback(AEffect* effect, int32_t opcode, int32_t index,
                                      intptr_t value, void* ptr, float opt);

  void reset(intptr_t version = 2400);
  std::vector<HostCall> callsWith(int32_t opcode) const;

  std::vector<HostCall> calls;
  intptr_t versionAnswer = 2400;
  intptr_t defaultAnswer = 0;
};
