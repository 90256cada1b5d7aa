#include "VelaOrinPlugin.h"

#include "GrEditor.h"

AVstXSynth* createVelaOrin(audioMasterCallback audioMaster) {
  auto* synth = new AVstXSynth(audioMaster);
  synth->setEditor(new GrEditor(synth));
  return synth;
}
