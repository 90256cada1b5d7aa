// Opens the engine's state to the tests and builds MIDI lists for processEvents.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "uVSTXSynth.h"

class EngineProbe : public AVstXSynth {
 public:
  EngineProbe() : AVstXSynth(nullptr) {}

  using AVstXSynth::applyParameter;
  using AVstXSynth::filterVoice;
  using AVstXSynth::noteOn;
  using AVstXSynth::renderVoice;
  using AVstXSynth::updateVoicePitch;

  using AVstXSynth::attackCounter;
  using AVstXSynth::attackSamples;
  using AVstXSynth::carrierInc;
  using AVstXSynth::carrierPhase;
  using AVstXSynth::cutoffCoef;
  using AVstXSynth::dampingCoef;
  using AVstXSynth::decayCounter;
  using AVstXSynth::decaySamples;
  using AVstXSynth::envAmount;
  using AVstXSynth::envLevel;
  using AVstXSynth::envState;
  using AVstXSynth::fb1Amount;
  using AVstXSynth::fb2Amount;
  using AVstXSynth::filterBand;
  using AVstXSynth::filterLow;
  using AVstXSynth::filterType;
  using AVstXSynth::keyTrack;
  using AVstXSynth::maxVoice;
  using AVstXSynth::mod1Inc;
  using AVstXSynth::mod1Offset;
  using AVstXSynth::mod1Out;
  using AVstXSynth::mod1Phase;
  using AVstXSynth::mod1Sync;
  using AVstXSynth::mod2Inc;
  using AVstXSynth::mod2Offset;
  using AVstXSynth::mod2Out;
  using AVstXSynth::mod2Phase;
  using AVstXSynth::mod2Sync;
  using AVstXSynth::nextVoice;
  using AVstXSynth::noteOffCountdown;
  using AVstXSynth::phaseRateFactor;
  using AVstXSynth::pitchBend;
  using AVstXSynth::releaseCounter;
  using AVstXSynth::releaseSamples;
  using AVstXSynth::sampleRate;
  using AVstXSynth::startDelay;
  using AVstXSynth::sustainLevel;
  using AVstXSynth::voiceGain;
  using AVstXSynth::voiceNote;
  using AVstXSynth::voiceVelocity;
};

// A VstEvents list of MIDI events, laid out as hosts do (pointers behind the record).
class MidiList {
 public:
  MidiList& add(int32_t deltaFrames, int status, int data1, int data2) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = 24;
    e.deltaFrames = deltaFrames;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    events_.push_back(e);
    return *this;
  }
  MidiList& noteOn(int32_t delta, int note, int velocity = 127) {
    return add(delta, 0x90, note, velocity);
  }
  MidiList& noteOff(int32_t delta, int note) { return add(delta, 0x80, note, 64); }

  VstEvents* list() {
    storage_.assign(sizeof(VstEvents) + events_.size() * sizeof(VstEvent*), 0);
    auto* header = reinterpret_cast<VstEvents*>(storage_.data());
    header->numEvents = static_cast<int32_t>(events_.size());
    VstEvent** slots = header->events;
    for (size_t i = 0; i < events_.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&events_[i]);
    return header;
  }
  int32_t sendTo(AVstXSynth& synth) { return synth.processEvents(list()); }

 private:
  std::vector<VstMidiEvent> events_;
  std::vector<unsigned char> storage_;
};

inline uint32_t floatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}
