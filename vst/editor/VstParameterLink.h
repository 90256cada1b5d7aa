// The panel's parameter link on a VST 2 effect: reads with getParameter, writes with
// setParameterAutomated (the effect stores the value, the host hears audioMasterAutomate), and
// brackets gestures with the host's audioMasterBeginEdit / audioMasterEndEdit where the effect
// is an AudioEffectX.
#pragma once

#include "ParameterLink.h"

class AudioEffect;

class VstParameterLink final : public ParameterLink {
 public:
  explicit VstParameterLink(AudioEffect* effect) : effect_(effect) {}

  // [UI thread]
  float value(int32_t index) override;
  void automate(int32_t index, float value) override;
  void beginEdit(int32_t index) override;
  void endEdit(int32_t index) override;

 private:
  AudioEffect* effect_;  // not owned: the effect owns the editor that owns this link
};
