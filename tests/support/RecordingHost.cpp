#include "RecordingHost.h"

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
  return host.defaultAnswer;
}

void RecordingHost::reset(intptr_t version) {
  calls.clear();
  versionAnswer = version;
  defaultAnswer = 0;
}

std::vector<HostCall> RecordingHost::callsWith(int32_t opcode) const {
  std::vector<HostCall> matching;
  for (const HostCall& call : calls)
    if (call.opcode == opcode) matching.push_back(call);
  return matching;
}
