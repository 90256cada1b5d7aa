// The built-in song rendered when no MIDI file is given: about 20 seconds in A minor.
#pragma once

#include <cstdint>

#include "Song.h"

struct DemoSetup {
  int32_t startProgram = 0;  // bars 1-4 and 8-9 play in this program
  int32_t drumProgram = 1;   // bars 5-7 ("Eth Drm" in VelaOrin); -1: no program change
  int32_t cutOffIndex = -1;  // parameter swept in bars 1-4 and 8-9; -1: no sweep
};

Song demoSong(int32_t sampleRate, const DemoSetup& setup);
