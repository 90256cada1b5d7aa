// Parameter mapping: the host's 0..1 values turned into the engine's coefficients, stage
// lengths and oscillator increments. Runs on the thread that sets parameters, never per sample.
#include "EngineNumbers.h"

using namespace engine;

void AVstXSynth::resetEngine() {
  for (int32_t n = 0; n < kNumVoiceSlots; ++n) {
    mod1Phase[n] = mod2Phase[n] = carrierPhase[n] = 0.0f;
    mod1Out[n] = mod2Out[n] = 0;
    envState[n] = attackCounter[n] = decayCounter[n] = releaseCounter[n] = 0;
    envLevel[n] = 0.0f;
    startDelay[n] = 0;
  }
  pitchBend = 1.0f;
  maxVoice = 1;
  nextVoice = 0;
  phaseRateFactor = static_cast<float>(131072.0 / 44100.0);
  tables = &synthTables();
}

void AVstXSynth::applyParameter(int32_t index) {
  if (!(index >= 0 && index < kNumParams)) return;
  const double v = unitValue(liveValue(index));
  const double rate = static_cast<double>(sampleRate);
  switch (index) {
    case kMod1:
      mod1Offset = roundToInt((v - 0.5) * 24.0);
      break;
    case kMod2:
      mod2Offset = roundToInt((v - 0.5) * 24.0);
      break;
    case kFB1:
    case kFB2:
      (index == kFB1 ? fb1Amount : fb2Amount) = static_cast<float>(v * v);
      for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
      break;
    case kA:
      attackSamples = roundStageSamples(v * v * rate * 0.5);
      break;
    case kD:
      decaySamples = roundStageSamples(v * v * rate * 0.5);
      break;
    case kS:
      sustainLevel = static_cast<float>(v);
      break;
    case kR:
      releaseSamples = roundStageSamples(v * v * rate) + 10;
      break;
    case kCutOff:
      cutoffCoef = static_cast<float>((v * v + 0.05) * 60000.0 / rate);
      break;
    case kQ:
      dampingCoef = static_cast<float>(1.2 - v * 1.17);
      break;
    case kType:
      filterType = roundToInt(v * 2.0);
      break;
    case kEnv:
      envAmount = static_cast<float>(v);
      break;
    case kM1S:
      mod1Sync = roundToInt(v) == 1;
      break;
    case kM2S:
      mod2Sync = roundToInt(v) == 1;
      break;
    default:
      break;
  }
}

void AVstXSynth::updateVoicePitch(int32_t voice) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  const float* frequency = tables->noteFrequencyTable;
  const double scale = static_cast<double>(phaseRateFactor);
  const double bend = static_cast<double>(pitchBend);
  const int32_t note = voiceNote[voice];
  auto increment = [&](int32_t offset) {
    const double hz = static_cast<double>(frequency[wrapAdd(note, offset) & (kNumNotes - 1)]);
    return static_cast<float>(hz * scale * bend);
  };
  mod1Inc[voice] = increment(mod1Offset);
  mod2Inc[voice] = increment(mod2Offset);
  carrierInc[voice] = increment(0);
}

void AVstXSynth::setSampleRate(float newSampleRate) {
  // The base keeps the previous rate for zero, negative, NaN or infinite ones.
  AudioEffectX::setSampleRate(newSampleRate);
  phaseRateFactor = static_cast<float>(131072.0 / static_cast<double>(sampleRate));
}
