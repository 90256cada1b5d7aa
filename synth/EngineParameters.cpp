// Parameter mapping: the host's 0..1 values turned into the engine's coefficients, stage
// lengths and oscillator increments. Runs on the audio thread as edits are handed over (and on
// the host's thread for a sample-rate change, which comes while nothing renders), never per
// sample.
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
  mapParameter(index);
  if (index == kFB1 || index == kFB2)
    for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
}

void AVstXSynth::mapParameter(int32_t index) {
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
  // Rates that are not positive finite numbers are ignored.
  if (!(newSampleRate > 0.0f && newSampleRate <= std::numeric_limits<float>::max())) return;
  AudioEffectX::setSampleRate(newSampleRate);
  // Everything derived from the rate follows it; sounding voices keep their pitch in hertz.
  phaseRateFactor = static_cast<float>(131072.0 / static_cast<double>(sampleRate));
  for (int32_t index : {kA, kD, kR, kCutOff}) mapParameter(index);
  for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
}

// ---------------------------------------------------------------------------------------------
// Edits from other threads. An editing thread stores the value into the program current at the
// edit and raises the parameter's bit; the audio thread applies raised bits at the start of
// processEvents and of every render call, so engine and voice state have one writer. A change
// of program is applied whole, from the new program's values.

namespace {
constexpr uint32_t kAllParams = (1u << kNumParams) - 1;
constexpr uint32_t kRetuneRequested = 1u << 31;
}  // namespace

uint32_t AVstXSynth::retuneRequest(int32_t program) const {
  // A change of "FB1" or "FB2" (or of program) retunes the voices with the modulator
  // transpositions in force at that moment; later "Mod1"/"Mod2" edits wait for the next retune.
  const VstXSynthProgram& stored = *programs[program];
  const auto offset = [&](int32_t index) {
    return static_cast<uint32_t>(semitoneOffset(stored.sharedValue(index)) + 12);
  };
  return kRetuneRequested | static_cast<uint32_t>(program) << 16 | offset(kMod1) << 8 |
         offset(kMod2);
}

void AVstXSynth::applyPendingEdits() {
  uint32_t edits = 0;
  if (pendingEdits.load(std::memory_order_relaxed) != 0)
    edits = pendingEdits.exchange(0, std::memory_order_acquire);
  uint32_t retune = 0;
  if (pendingRetune.load(std::memory_order_relaxed) != 0)
    retune = pendingRetune.exchange(0, std::memory_order_acquire);
  const int32_t program = currentProgram();
  bool retuneVoices = (edits & (1u << kFB1 | 1u << kFB2)) != 0 || retune != 0;
  if (program != appliedProgram) {
    appliedProgram = program;
    edits = kAllParams;
    retuneVoices = true;
  }
  if (edits == 0 && !retuneVoices) return;
  const VstXSynthProgram& stored = *programs[program];
  for (int32_t index : kReplayOrder) {
    if ((edits >> index & 1u) == 0) continue;
    appliedValue(index) = stored.sharedValue(index);
    mapParameter(index);
  }
  if (!retuneVoices) return;
  const int32_t offset1 = mod1Offset, offset2 = mod2Offset;
  if (retune != 0 && static_cast<int32_t>(retune >> 16 & 0x7FFF) == program) {
    mod1Offset = static_cast<int32_t>(retune >> 8 & 0xFF) - 12;
    mod2Offset = static_cast<int32_t>(retune & 0xFF) - 12;
  }
  for (int32_t n = 0; n <= maxVoice; ++n) updateVoicePitch(n);
  mod1Offset = offset1;
  mod2Offset = offset2;
}
