// Parameter mapping: the 0..1 parameter values turned into the engine's coefficients, stage
// lengths and oscillator increments. Runs as edits arrive (on the audio thread, or while nothing
// renders), never per sample.
#include <limits>

#include "EngineNumbers.h"
#include "Tuning.h"

using namespace engine;

namespace {

// Sine-table steps a phase advances per sample for each hertz: a cycle is kSineTableSize steps.
float phaseStepsPerHertz(float sampleRate) {
  return static_cast<float>(static_cast<double>(kSineTableSize) / static_cast<double>(sampleRate));
}

}  // namespace

VelaEngine::VelaEngine() {
  resetEngine();
  for (int32_t index : kReplayOrder) mapParameter(index, kParameters[index].initial);
}

void VelaEngine::resetEngine() {
  for (int32_t n = 0; n < kNumVoiceSlots; ++n) {
    mod1Phase[n] = mod2Phase[n] = carrierPhase[n] = 0.0f;
    mod1Out[n] = mod2Out[n] = 0;
    envState[n] = attackCounter[n] = decayCounter[n] = releaseCounter[n] = 0;
    envLevel[n] = 0.0f;
    noteOffCountdown[n] = -1;
  }
  pitchBend = 1.0f;
  maxVoice = 1;
  nextVoice = 0;
  phaseRateFactor = phaseStepsPerHertz(sampleRate);
  tables = &synthTables();
  eventCount = 0;
}

void VelaEngine::setParameter(int32_t index, float value) {
  if (!(index >= 0 && index < kNumParams)) return;
  appliedValue(index) = value;
  applyParameter(index);
}

float VelaEngine::getParameter(int32_t index) const {
  if (!(index >= 0 && index < kNumParams)) return 0.0f;
  return appliedValues[parameterSlot(index)];
}

void VelaEngine::mapParameter(int32_t index, float value) {
  if (!(index >= 0 && index < kNumParams)) return;
  appliedValue(index) = value;
  mapParameter(index);
}

void VelaEngine::retuneVoices() {
  for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
}

void VelaEngine::retuneVoices(int32_t mod1Transpose, int32_t mod2Transpose) {
  const int32_t offset1 = mod1Offset, offset2 = mod2Offset;
  mod1Offset = mod1Transpose;
  mod2Offset = mod2Transpose;
  retuneVoices();
  mod1Offset = offset1;
  mod2Offset = offset2;
}

void VelaEngine::applyParameter(int32_t index) {
  mapParameter(index);
  if (index == kFB1 || index == kFB2) retuneVoices();
}

void VelaEngine::mapParameter(int32_t index) {
  if (!(index >= 0 && index < kNumParams)) return;
  const double v = unitValue(appliedValue(index));
  const double rate = static_cast<double>(sampleRate);
  switch (index) {
    case kMod1:
      mod1Offset = semitoneOffset(appliedValue(index));
      break;
    case kMod2:
      mod2Offset = semitoneOffset(appliedValue(index));
      break;
    case kFB1:
    case kFB2:
      (index == kFB1 ? fb1Amount : fb2Amount) = static_cast<float>(v * v);
      break;
    // Stage lengths in samples, square-law so the short end gets most of the travel: attack and
    // decay reach half a second, release a second.
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
      // At least 10 samples even at "R" 0: a note-off never cuts a voice off mid-cycle with a
      // click, it always fades.
      releaseSamples = roundStageSamples(v * v * rate) + 10;
      break;
    case kCutOff:
      // The state-variable filter's frequency coefficient per sample, f ~ 2 pi fc / rate: 60000
      // is 2 pi times a corner of about 9.5 kHz, so "CutOff" sweeps the base corner from about
      // 480 Hz (0, the 0.05 floor) to 10 kHz (1), square-law; envelope and key tracking then
      // scale it per sample (voiceCutoff).
      cutoffCoef = static_cast<float>((v * v + 0.05) * 60000.0 / rate);
      break;
    case kQ:
      // Damping, the inverse of resonance: 1.2 (a soft knee, no peak) at "Q" 0 down to 0.03
      // (a peak of about 33 times, ringing but stable in the stages' 32-bit range) at 1.
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

void VelaEngine::useTuning(const TuningTable* table) {
  tuning = table;
  retuneVoices();
}

void VelaEngine::tunedPitch(int32_t voice) {
  // The carrier plays the key's frequency, each modulator its equal-tempered interval above it;
  // the bend scales all three, as in equal temperament.
  const int32_t note = voiceNote[voice] & (kNumNotes - 1);
  if (tuning->mapped[note]) voiceHz[voice] = tuning->frequency[note];
  const double hz = voiceHz[voice] * static_cast<double>(phaseRateFactor) *
                    static_cast<double>(pitchBend);
  const auto interval = [&](int32_t offset) {
    return tuning->semitoneRatio[offset < -12 ? 0 : offset > 12 ? 24 : offset + 12];
  };
  mod1Inc[voice] = static_cast<float>(hz * interval(mod1Offset));
  mod2Inc[voice] = static_cast<float>(hz * interval(mod2Offset));
  carrierInc[voice] = static_cast<float>(hz);
}

void VelaEngine::updateVoicePitch(int32_t voice) {
  if (!(voice >= 0 && voice < kNumVoiceSlots)) return;
  if (tuning != nullptr) {
    tunedPitch(voice);
    return;
  }
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

bool VelaEngine::setSampleRate(float rate) {
  if (!(rate > 0.0f && rate <= std::numeric_limits<float>::max())) return false;
  sampleRate = rate;
  phaseRateFactor = phaseStepsPerHertz(sampleRate);
  for (int32_t index : {kA, kD, kR, kCutOff}) mapParameter(index);
  retuneVoices();
  return true;
}
