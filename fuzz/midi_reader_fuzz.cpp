// libFuzzer target: the MIDI file reader on arbitrary bytes. It must return on every input, and
// what it returns must hold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "MidiReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const midi::MidiFileContents contents = midi::readMidi(std::span<const uint8_t>(data, size));
  if (!contents.error.empty() && !contents.messages.empty()) std::abort();
  int64_t previous = 0;
  for (const midi::ChannelMessage& message : contents.messages) {
    if (message.tick < previous || message.tick > contents.endTick ||
        message.bytes[0] < 0x80 || message.bytes[0] >= 0xF0)
      std::abort();
    previous = message.tick;
  }
  return 0;
}
