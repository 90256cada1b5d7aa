// Opens the engine's state to the tests and builds MIDI lists for processEvents.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "MidiList.h"
#include "uVSTXSynth.h"

class EngineProbe : public AVstXSynth {
 public:
  EngineProbe() : AVstXSynth(nullptr) {}
  // Edits reach the engine at once here unless deferred, as when one thread edits between
  // blocks; deferred ones wait for the next audio call.
  void setParameter(int32_t index, float value) override {
    AVstXSynth::setParameter(index, value);
    if (!deferEdits) applyPendingEdits();
  }
  void setProgram(int32_t program) override {
    AVstXSynth::setProgram(program);
    if (!deferEdits) applyPendingEdits();
  }
  bool deferEdits = false;

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
