// MIDI event lists with any bytes, counts, deltaFrames and sizes (the list itself well-formed, as
// hosts hand it), each followed by a render of any length.
#include <vector>

#include "FuzzInput.h"
#include "uVSTXSynth.h"

namespace {

constexpr int32_t kMaxFrames = 4096;
constexpr int32_t kMaxEvents = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  AEffect* effect = (new AVstXSynth(&fuzzHost))->getAeffect();
  // Settings first: a program and a few parameters, so events meet varied engines.
  effect->dispatcher(effect, effSetProgram, 0, in.byte() % 32, nullptr, 0.0f);
  for (int32_t n = in.byte() % 4; n > 0; --n)
    effect->setParameter(effect, in.byte() % 14, in.unitFloat());
  std::vector<float> left(kMaxFrames, 0.0f), right(kMaxFrames, 0.0f);
  std::vector<VstMidiEvent> events(kMaxEvents);
  std::vector<unsigned char> storage(sizeof(VstEvents) + kMaxEvents * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(storage.data());
  VstEvent** slots = list->events;  // the record declares two; the rest follow it
  while (!in.empty()) {
    int32_t frames = in.smallInt(-1, kMaxFrames);
    if (frames > kMaxFrames) frames = kMaxFrames;
    list->numEvents = in.byte() % (kMaxEvents + 1);
    for (int32_t i = 0; i < list->numEvents; ++i) {
      VstMidiEvent& e = events[static_cast<size_t>(i)];
      in.fill(&e, sizeof e);
      const uint8_t shape = in.byte();
      if (shape < 200) e.type = kVstMidiType;  // mostly MIDI, sometimes any type
      if (shape < 160) e.deltaFrames = frames > 0 ? static_cast<int32_t>(static_cast<uint32_t>(e.deltaFrames) % static_cast<uint32_t>(frames)) : 0;
      // The engine skips null entries; keep that covered.
      slots[i] = shape == 255 ? nullptr : reinterpret_cast<VstEvent*>(&e);
    }
    effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
    renderAndCheck(effect, frames, (in.byte() & 1) != 0, left, right);
  }
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  return 0;
}
