// Engine placeholder: replaced by the real engine.
#include "uVSTXSynth.h"

const SynthTables& synthTables() {
  static const SynthTables* tables = new SynthTables{};
  return *tables;
}
void AVstXSynth::resetEngine() { tables = &synthTables(); }
void AVstXSynth::applyParameter(int32_t) {}
void AVstXSynth::updateVoicePitch(int32_t) {}
void AVstXSynth::noteOn(int32_t, int32_t, int32_t, int32_t) {}
void AVstXSynth::renderVoice(int32_t, float*, float*) {}
int32_t AVstXSynth::filterVoice(int32_t, int32_t input, float) { return input; }
int32_t AVstXSynth::processEvents(VstEvents*) { return 1; }
void AVstXSynth::process(float** inputs, float** outputs, int32_t sampleFrames) {
  processReplacing(inputs, outputs, sampleFrames);
}
void AVstXSynth::processReplacing(float**, float**, int32_t) {}
void AVstXSynth::setSampleRate(float newSampleRate) { AudioEffectX::setSampleRate(newSampleRate); }
