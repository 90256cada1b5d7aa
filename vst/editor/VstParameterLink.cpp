#include "VstParameterLink.h"

#include "DAudioEffectX.h"

namespace {

// The effect as an AudioEffectX, or null. Looked up on every call rather than once: a gesture
// cut short by the effect's own destruction ends while only part of the object is left, and
// then the cast sees exactly that part (an AudioEffectX while it runs ~AudioEffectX, nothing
// beyond AudioEffect after).
AudioEffectX* extended(AudioEffect* effect) { return dynamic_cast<AudioEffectX*>(effect); }

}  // namespace

float VstParameterLink::value(int32_t index) {
  return effect_ != nullptr ? effect_->getParameter(index) : 0.0f;
}

void VstParameterLink::automate(int32_t index, float value) {
  if (effect_ != nullptr) effect_->setParameterAutomated(index, value);
}

void VstParameterLink::beginEdit(int32_t index) {
  if (AudioEffectX* effect = extended(effect_)) effect->beginEdit(index);
}

void VstParameterLink::endEdit(int32_t index) {
  if (AudioEffectX* effect = extended(effect_)) effect->endEdit(index);
}
