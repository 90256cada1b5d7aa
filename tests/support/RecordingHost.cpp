#include "RecordingHost.h"

#include <cstdio>

#include "DAEffectX.h"

RecordingHost& RecordingHost::instance() {
  static RecordingHost host;
  return host;
}

intptr_t VELA_CDECL RecordingHost::callback(AEffect* effect, int32_t opcode, int32_t index,
                                            intptr_t value, void* ptr, float opt) {
  RecordingHost& host = instance();
  host.calls.push_back({effect, opcode, index, value, ptr, opt});
  if (opcode == audioMasterVersion) return host.versionAnswer;
  if (const auto answer = host.answers.find(opcode); answer != host.answers.end())
    return answer->second;
  return host.defaultAnswer;
}

void RecordingHost::reset(intptr_t version) {
  calls.clear();
  versionAnswer = version;
  answers.clear();
  defaultAnswer = 0;
}

std::vector<HostCall> RecordingHost::callsWith(int32_t opcode) const {
  std::vector<HostCall> matching;
  for (const HostCall& call : calls)
    if (call.opcode == opcode) matching.push_back(call);
  return matching;
}

std::string RecordingHost::edits() const { return editText(calls); }

namespace {

std::string editEntry(int32_t opcode, int32_t index, float value) {
  char text[64];
  switch (opcode) {
    case audioMasterBeginEdit: std::snprintf(text, sizeof text, "begin %d; ", index); break;
    case audioMasterEndEdit: std::snprintf(text, sizeof text, "end %d; ", index); break;
    default:
      std::snprintf(text, sizeof text, "automate %d %.9g; ", index, static_cast<double>(value));
      break;
  }
  return text;
}

bool isEdit(int32_t opcode) {
  return opcode == audioMasterBeginEdit || opcode == audioMasterAutomate ||
         opcode == audioMasterEndEdit;
}

}  // namespace

std::string editText(const std::vector<HostCall>& calls) {
  std::string text;
  for (const HostCall& call : calls)
    if (isEdit(call.opcode)) text += editEntry(call.opcode, call.index, call.opt);
  return text;
}

std::string gestureText(int32_t index, const std::vector<float>& values) {
  std::string text = editEntry(audioMasterBeginEdit, index, 0.0f);
  for (float value : values) text += editEntry(audioMasterAutomate, index, value);
  return text + editEntry(audioMasterEndEdit, index, 0.0f);
}
