// Opens the instrument core's engine state to the tests, and builds timed MIDI for its queue.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "VelaInstrument.h"

class EngineProbe : public VelaInstrument {
 public:
  // Edits reach the engine at once unless deferred, as when another thread edits between
  // blocks; deferred ones wait for the next render call.
  void setParameter(int32_t index, float value) {
    bank().setParameter(index, value);
    if (!deferEdits) beginBlock();
  }
  void setProgram(int32_t program) {
    bank().setProgram(program);
    if (!deferEdits) beginBlock();
  }
  float getParameter(int32_t index) const { return bank().getParameter(index); }
  // What the audio thread does first in each call: take the edits handed over.
  void audioCall() { beginBlock(); }
  // Takes the queued events now, whatever their frames, without rendering.
  void applyQueued() {
    for (int32_t i = 0; i < eventCount; ++i) applyEvent(events[i]);
    eventCount = 0;
  }
  std::vector<EngineEvent> queued() const { return {events, events + eventCount}; }

  bool deferEdits = false;

  using VelaEngine::applyParameter;
  using VelaEngine::filterVoice;
  using VelaEngine::noteOn;
  using VelaEngine::renderVoice;
  using VelaEngine::updateVoicePitch;

  using VelaEngine::attackCounter;
  using VelaEngine::attackSamples;
  using VelaEngine::carrierInc;
  using VelaEngine::carrierPhase;
  using VelaEngine::cutoffCoef;
  using VelaEngine::dampingCoef;
  using VelaEngine::decayCounter;
  using VelaEngine::decaySamples;
  using VelaEngine::envAmount;
  using VelaEngine::envLevel;
  using VelaEngine::envState;
  using VelaEngine::fb1Amount;
  using VelaEngine::fb2Amount;
  using VelaEngine::filterBand;
  using VelaEngine::filterLow;
  using VelaEngine::filterType;
  using VelaEngine::keyTrack;
  using VelaEngine::maxVoice;
  using VelaEngine::mod1Inc;
  using VelaEngine::mod1Offset;
  using VelaEngine::mod1Out;
  using VelaEngine::mod1Phase;
  using VelaEngine::mod1Sync;
  using VelaEngine::mod2Inc;
  using VelaEngine::mod2Offset;
  using VelaEngine::mod2Out;
  using VelaEngine::mod2Phase;
  using VelaEngine::mod2Sync;
  using VelaEngine::nextVoice;
  using VelaEngine::noteOffCountdown;
  using VelaEngine::phaseRateFactor;
  using VelaEngine::pitchBend;
  using VelaEngine::releaseCounter;
  using VelaEngine::releaseSamples;
  using VelaEngine::sampleRate;
  using VelaEngine::sustainLevel;
  using VelaEngine::voiceGain;
  using VelaEngine::voiceNote;
  using VelaEngine::voiceVelocity;
};

// Three MIDI bytes at a frame of a block.
struct MidiAt {
  int32_t frame;
  uint8_t status, data1, data2;
};

// MIDI bytes at frames, for the engine's queue.
class TimedMidi {
 public:
  TimedMidi& add(int32_t frame, int status, int data1, int data2) {
    events_.push_back({frame, static_cast<uint8_t>(status), static_cast<uint8_t>(data1),
                       static_cast<uint8_t>(data2)});
    return *this;
  }
  TimedMidi& noteOn(int32_t frame, int note, int velocity = 127) {
    return add(frame, 0x90, note, velocity);
  }
  TimedMidi& noteOff(int32_t frame, int note) { return add(frame, 0x80, note, 64); }
  // Not MIDI: the engine's own events, a choke and a note-on tagged for a voice-end report.
  TimedMidi& choke(int32_t frame, int note) { return add(frame, kChoke, note, 0); }
  TimedMidi& taggedNoteOn(int32_t frame, int note, int tag) { return add(frame, kTagged, note, tag); }

  // Queues what the engine plays; returns how many it took.
  int32_t queueTo(VelaInstrument& instrument) const {
    int32_t taken = 0;
    for (const MidiAt& b : events_) {
      bool queued;
      if (b.status == kChoke)
        queued = instrument.queueEvent({b.frame, EngineEvent::NoteChoke, b.data1, 0});
      else if (b.status == kTagged)
        queued = instrument.queueEvent({b.frame, EngineEvent::NoteOn, b.data1, 100, b.data2});
      else
        queued = instrument.queueMidi(b.frame, b.status, b.data1, b.data2);
      if (queued) ++taken;
    }
    return taken;
  }
  // Queued and taken at once, frames aside: for looking at the state the events leave.
  void sendTo(EngineProbe& probe) const {
    queueTo(probe);
    probe.applyQueued();
  }
  const std::vector<MidiAt>& list() const { return events_; }

 private:
  static constexpr int kChoke = 0x00, kTagged = 0x01;  // status bytes no MIDI message has
  std::vector<MidiAt> events_;
};

// The whole sine cycle, entry k read through the engine's stored table at index k.
inline const std::vector<int32_t>& sineCycle() {
  static const std::vector<int32_t> cycle = [] {
    std::vector<int32_t> t(kSineTableSize);
    for (uint32_t k = 0; k < t.size(); ++k) t[k] = synthTables().sine.at(k);
    return t;
  }();
  return cycle;
}

inline uint32_t floatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}
