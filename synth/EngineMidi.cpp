// MIDI intake and voice allocation: note-on/off, the all-sound/all-notes-off and reset
// controllers, and pitch bend, each applied between blocks with its sample offset kept for the
// renderer.
#include <cstring>

#include "EngineNumbers.h"

using namespace engine;

void AVstXSynth::noteOn(int32_t voice, int32_t note, int32_t velocity, int32_t delta) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  voiceNote[voice] = note;
  voiceVelocity[voice] = velocity;
  voiceGain[voice] =
      static_cast<float>(static_cast<double>(velocity) * (1.0 / 127.0) * 0.17 * 0.00001);
  startDelay[voice] = delta;
  envState[voice] = 1;
  attackCounter[voice] = 0;
  mod1Out[voice] = mod2Out[voice] = 0;
  mod1Phase[voice] = mod2Phase[voice] = carrierPhase[voice] = 0.0f;
  envLevel[voice] = 0.0f;
  filterBand[voice][0] = filterBand[voice][1] = 0;
  filterLow[voice][0] = filterLow[voice][1] = 0;
  noteOffCountdown[voice] = -1;
  keyTrack[voice] = static_cast<float>(static_cast<double>((velocity + 128) * note) * 0x1p-15);
  updateVoicePitch(voice);
}

void AVstXSynth::releaseAt(int32_t voice, int32_t delta) {
  // A release already due at an earlier sample is never postponed by a later event.
  if (envState[voice] >= 1 && envState[voice] <= 3 &&
      (noteOffCountdown[voice] < 0 || delta < noteOffCountdown[voice]))
    noteOffCountdown[voice] = delta;
}

void AVstXSynth::bendTo(float bend) {
  pitchBend = bend;
  for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
}

int32_t AVstXSynth::processEvents(VstEvents* events) {
  applyPendingEdits();
  if (events == nullptr) return 1;
  VstEvent* const* list = events->events;  // hosts allocate numEvents entries behind the record
  const int32_t count = events->numEvents;
  for (int32_t i = 0; i < count; ++i) {
    const VstEvent* event = list[i];
    if (event == nullptr || event->type != kVstMidiType) continue;
    VstMidiEvent midi;
    std::memcpy(&midi, event, sizeof midi);
    // A negative offset would leave a note-off pending forever: it means "now".
    const int32_t delta = midi.deltaFrames > 0 ? midi.deltaFrames : 0;
    const auto status = static_cast<uint8_t>(static_cast<uint8_t>(midi.midiData[0]) & 0xF0);
    const auto data1 = static_cast<uint8_t>(midi.midiData[1]);
    const auto data2 = static_cast<uint8_t>(midi.midiData[2]);

    if (status == 0x90 || status == 0x80) {
      const int32_t note = data1 & 0x7F;
      const int32_t velocity = status == 0x80 ? 0 : (data2 & 0x7F);
      if (velocity == 0) {
        for (int32_t n = 0; n <= maxVoice; ++n)
          if (voiceNote[n] == note) releaseAt(n, delta);
      } else {
        if (++nextVoice > maxVoice) nextVoice = 0;
        releaseAt(nextVoice == maxVoice ? 0 : nextVoice + 1, delta);
        noteOn(nextVoice, note, velocity, delta);
      }
    } else if (status == 0xB0) {
      // 120 all sound off and 126 silence at once; 123 all notes off releases every held voice
      // as its note-off would; 121 reset all controllers centres the bend.
      if (data1 == 120 || data1 == 126) {
        for (int32_t n = 0; n <= maxVoice; ++n) envState[n] = 0;
      } else if (data1 == 123) {
        for (int32_t n = 0; n <= maxVoice; ++n) releaseAt(n, delta);
      } else if (data1 == 121) {
        bendTo(1.0f);
      }
    } else if (status == 0xE0) {
      int32_t m = data2 & 0x7F;
      if (m == 127) m = 128;
      bendTo(tables->pitchBendTable[m]);
    }
  }
  return 1;
}
