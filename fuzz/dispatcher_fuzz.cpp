// Any dispatcher call (opcode, index, value, float, a pointer to a junk host buffer), parameter
// sets and reads, interleaved with renders of any length. Only what the host contract forbids
// is kept out: events come as a well-formed list, and no editor is opened into a junk window.
#include <vector>

#include "FuzzInput.h"
#include "uVSTXSynth.h"

namespace {

constexpr int32_t kMaxFrames = 4096;

AEffect* create() { return (new AVstXSynth(&fuzzHost))->getAeffect(); }

void render(AEffect* effect, FuzzInput& in, std::vector<float>& left, std::vector<float>& right) {
  int32_t frames = in.smallInt(-2, kMaxFrames);
  if (frames > kMaxFrames) frames = kMaxFrames;
  renderAndCheck(effect, frames, (in.byte() & 1) != 0, left, right);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  AEffect* effect = create();
  std::vector<float> left(kMaxFrames, 0.0f), right(kMaxFrames, 0.0f);
  alignas(16) unsigned char buffer[4096];
  VstMidiEvent midi[4];
  unsigned char listStorage[sizeof(VstEvents) + 4 * sizeof(VstEvent*)];
  while (!in.empty()) {
    switch (in.byte() % 8) {
      case 0:
      case 1:
      case 2: {
        const uint8_t pick = in.byte();
        const int32_t opcode = pick < 240 ? static_cast<int32_t>(pick % 80) - 4 : in.take<int32_t>();
        const int32_t index = in.smallInt(-2, 40);
        intptr_t value = in.smallInt(-2, 70000);
        const float opt =
            in.byte() < 128 ? static_cast<float>(in.take<uint32_t>() % 200001u) : in.take<float>();
        const uint16_t junk = in.take<uint16_t>();
        in.fill(buffer, junk % sizeof buffer);
        buffer[sizeof buffer - 1] = 0;  // texts the host passes are terminated
        void* ptr = (junk & 0x8000) != 0 ? nullptr : buffer;
        if (opcode == effEditOpen) break;
        if (opcode == effSetSpeakerArrangement) value = ptr != nullptr ? reinterpret_cast<intptr_t>(buffer) : 0;
        if (opcode == effProcessEvents) {
          // A well-formed list of up to four MIDI events with any contents.
          auto* list = reinterpret_cast<VstEvents*>(listStorage);
          list->numEvents = in.byte() % 5;
          VstEvent** slots = list->events;  // the record declares two; the rest follow it
          for (int32_t i = 0; i < list->numEvents; ++i) {
            in.fill(&midi[i], sizeof midi[i]);
            slots[i] = reinterpret_cast<VstEvent*>(&midi[i]);
          }
          ptr = list;
        }
        effect->dispatcher(effect, opcode, index, value, ptr, opt);
        if (opcode == effClose) effect = create();  // the dispatcher deleted the instance
        break;
      }
      case 3:
        effect->setParameter(effect, in.smallInt(-1, 14), in.unitFloat());
        break;
      case 4: {
        const float value = effect->getParameter(effect, in.smallInt(-1, 14));
        (void)value;
        break;
      }
      default:
        render(effect, in, left, right);
        break;
    }
  }
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
