// A host callback that records every request and answers with configurable values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
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
  std::string edits() const;  // editText(calls)

  std::vector<HostCall> calls;
  intptr_t versionAnswer = 2400;
  std::map<int32_t, intptr_t> answers;  // by opcode, before defaultAnswer
  intptr_t defaultAnswer = 0;
};

// Edit requests (audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit) as one line,
// "begin 2; automate 2 0.330000013; end 2; ", other calls left out, so a comparison shows the
// whole sequence when it fails. Values print with every digit a float needs.
std::string editText(const std::vector<HostCall>& calls);
// What one gesture on `index` that writes `values` looks like in editText.
std::string gestureText(int32_t index, const std::vector<float>& values);
