// The VST 2 plug-in as the binary ships it: the synthesizer with its panel attached. The adapter
// (uVSTXSynth) knows no window system; this is where the two meet.
#pragma once

#include "uVSTXSynth.h"

// [any thread, while the host creates an instance] A new instance with its editor; it owns
// itself from here (the dispatcher deletes it at effClose).
AVstXSynth* createVelaOrin(audioMasterCallback audioMaster);
