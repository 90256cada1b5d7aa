// MIDI events and voice allocation: note-on/off, the all-sound/all-notes-off, reset and mono-mode
// controllers, and pitch bend. Events wait in a fixed queue and the renderer applies each at its
// own frame (EngineRender.cpp); here is what each one does at that frame.
#include "EngineNumbers.h"
#include "FrameOrder.h"
#include "Tuning.h"

#include <cstdint>

using namespace engine;

bool engineEventFromMidi(int32_t frame, uint8_t status, uint8_t data1, uint8_t data2,
                         EngineEvent& event) {
  event = {frame, EngineEvent::NoteOn, static_cast<uint8_t>(data1 & 0x7F), 0};
  switch (status & 0xF0) {
    case 0x80:
    case 0x90: {
      // The channel is ignored; so is a note-off's release velocity.
      const auto velocity = static_cast<uint8_t>((status & 0xF0) == 0x80 ? 0 : (data2 & 0x7F));
      event.kind = velocity == 0 ? EngineEvent::NoteOff : EngineEvent::NoteOn;
      event.value = velocity;
      return true;
    }
    case 0xB0:
      event.note = 0;
      switch (data1) {
        case 120:
          event.kind = EngineEvent::AllSoundOff;
          return true;
        case 121:
          event.kind = EngineEvent::ResetAllControllers;
          return true;
        case 123:
          event.kind = EngineEvent::AllNotesOff;
          return true;
        case 126:
          event.kind = EngineEvent::MonoModeOn;
          return true;
        default:
          return false;
      }
    case 0xE0: {
      // Only the most significant seven bits; the top step reaches a full semitone.
      const int32_t m = data2 & 0x7F;
      event.kind = EngineEvent::PitchBend;
      event.note = 0;
      event.value = static_cast<uint8_t>(m == 127 ? 128 : m);
      return true;
    }
    default:
      return false;
  }
}

bool VelaEngine::queueEvent(const EngineEvent& event) {
  if (eventCount >= kEventCapacity) return false;
  events[eventCount] = event;
  if (event.frame < 0) events[eventCount].frame = 0;
  ++eventCount;
  return true;
}

void VelaEngine::orderEvents(int32_t frames) {
  // Frames past the block count as its last sample; then a stable sort by frame.
  for (int32_t i = 0; i < eventCount; ++i)
    if (events[i].frame >= frames) events[i].frame = frames - 1;
  orderByFrame(events, eventScratch, eventCount);
}

void VelaEngine::noteOn(int32_t voice, int32_t note, int32_t velocity) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  voiceNote[voice] = note;
  voiceVelocity[voice] = velocity;
  voiceGain[voice] =
      static_cast<float>(static_cast<double>(velocity) * (1.0 / 127.0) * 0.17 * 0.00001);
  envState[voice] = 1;
  attackCounter[voice] = 0;
  mod1Out[voice] = mod2Out[voice] = 0;
  mod1Phase[voice] = mod2Phase[voice] = carrierPhase[voice] = 0.0f;
  envLevel[voice] = 0.0f;
  filterBand[voice][0] = filterBand[voice][1] = 0;
  filterLow[voice][0] = filterLow[voice][1] = 0;
  noteOffCountdown[voice] = -1;
  // The filter's key tracking follows the pitch; in a tuning, where the key sounds.
  const double position =
      tuning != nullptr ? tuning->keyPosition[note & (kNumNotes - 1)] : static_cast<double>(note);
  keyTrack[voice] = static_cast<float>(static_cast<double>(velocity + 128) * position * 0x1p-15);
  voiceHz[voice] = static_cast<double>(tables->noteFrequencyTable[note & (kNumNotes - 1)]);
  updateVoicePitch(voice);
}

void VelaEngine::releaseAt(int32_t voice) {
  // A held voice renders this sample in its stage and releases from the next.
  if (envState[voice] >= 1 && envState[voice] <= 3) noteOffCountdown[voice] = 0;
}

void VelaEngine::bendTo(float bend) {
  pitchBend = bend;
  for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
}

void VelaEngine::applyEvent(const EngineEvent& event) {
  switch (event.kind) {
    case EngineEvent::NoteOn:
      if ((event.value & 0x7F) == 0) {
        applyEvent({event.frame, EngineEvent::NoteOff, event.note, 0});
        break;
      }
      // A key the tuning leaves unmapped does not sound: no slot is taken.
      if (tuning != nullptr && !tuning->mapped[event.note & 0x7F]) {
        reportTagEnd(event.tag, event.frame);
        break;
      }
      // The slots take turns; the note-on releases the slot after the one it takes.
      if (++nextVoice > maxVoice) nextVoice = 0;
      releaseAt(nextVoice == maxVoice ? 0 : nextVoice + 1);
      if (envState[nextVoice] > 0) reportVoiceEnd(nextVoice, event.frame);
      noteOn(nextVoice, event.note & 0x7F, event.value & 0x7F);
      voiceTag[nextVoice] = event.tag;
      break;
    case EngineEvent::NoteOff:
      for (int32_t n = 0; n <= maxVoice; ++n)
        if (voiceNote[n] == (event.note & 0x7F)) releaseAt(n);
      break;
    case EngineEvent::PitchBend:
      bendTo(tables->pitchBendTable[event.value < kPitchBendSteps ? event.value : 64]);
      break;
    case EngineEvent::AllSoundOff:
    case EngineEvent::MonoModeOn:
      for (int32_t n = 0; n <= maxVoice; ++n) silenceVoice(n, event.frame);
      break;
    case EngineEvent::NoteChoke:
      for (int32_t n = 0; n <= maxVoice; ++n)
        if (voiceNote[n] == (event.note & 0x7F)) silenceVoice(n, event.frame);
      break;
    case EngineEvent::AllNotesOff:
      for (int32_t n = 0; n <= maxVoice; ++n) releaseAt(n);
      break;
    case EngineEvent::ResetAllControllers:
      bendTo(1.0f);
      break;
  }
}

void VelaEngine::silenceVoice(int32_t voice, int32_t frame) {
  if (envState[voice] > 0) reportVoiceEnd(voice, frame);
  envState[voice] = 0;
}

int32_t VelaEngine::silentFrom(int32_t voice, int32_t frame) const {
  // The envelope's last stage: the sample on which the release counter reaches its length is
  // the first silent one. A release due (a note-off's countdown at 0) starts after one more
  // sample in the current stage. A held voice never ends on its own.
  if (envState[voice] == 4)
    return frame + (releaseCounter[voice] < releaseSamples ? releaseSamples - releaseCounter[voice] : 0);
  if (envState[voice] >= 1 && noteOffCountdown[voice] == 0) return frame + 1 + releaseSamples;
  return INT32_MAX;
}

void VelaEngine::reportVoiceEnd(int32_t voice, int32_t frame) {
  const int32_t tag = voiceTag[voice];
  voiceTag[voice] = 0;
  reportTagEnd(tag, frame);
}

void VelaEngine::reportTagEnd(int32_t tag, int32_t frame) {
  if (tag == 0 || voiceEndTotal >= kVoiceEndCapacity) return;
  // Ends found after a stretch may come in slot order rather than time order: keep the list
  // sorted (stable) by moving the new one back past later frames.
  int32_t at = voiceEndTotal++;
  for (; at > 0 && voiceEndList[at - 1].frame > frame; --at) voiceEndList[at] = voiceEndList[at - 1];
  voiceEndList[at] = {frame, tag};
}
